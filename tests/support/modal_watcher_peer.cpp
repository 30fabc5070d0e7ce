// A second process for the watcher's tests: shows one message box and exits with its answer. The
// test that starts it checks that its own watcher leaves this box alone, then closes it itself.
#include <windows.h>

int main() {
  return MessageBoxW(nullptr, L"Another process's question", L"zu peer", MB_OKCANCEL);
}
