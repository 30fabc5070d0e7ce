// Checks shared by the fuzz targets. A failed check prints what it found and aborts; libFuzzer
// reports that as a crash and keeps the input that caused it.
#pragma once

#include <cstdint>

namespace zu {

[[noreturn]] void FuzzFail(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Aborts unless a block the decoder returned passes CheckFrame, is exactly as long as its layout
// needs, and is stored bottom-up.
void CheckDecodedBlock(const uint8_t* block, int32_t length);

// Aborts unless `frame`, which passes CheckFrame, goes through the PNG encoder and decoder and
// comes back showing the same picture in the form the decoder promises for its bit count. Frames
// beyond the decoder's limits are skipped: it refuses them by design.
void CheckPngRoundTrip(const uint8_t* frame, int32_t length);

}  // namespace zu
