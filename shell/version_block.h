// The version resource of a control DLL, for its resource script: the same content in an English
// (0x0409) and a Japanese (0x0411) block, Unicode code page. The library defines before including
// this file:
//   ZU_VERSION_DESCRIPTION     FileDescription and ProductName
//   ZU_VERSION_INTERNAL_NAME   InternalName
//   ZU_VERSION_ORIGINAL_NAME   OriginalFilename
// and then writes ZU_VERSION_BLOCK("040904B0", 0x0409) under each LANGUAGE statement.
#ifndef ZU_SHELL_VERSION_BLOCK_H_
#define ZU_SHELL_VERSION_BLOCK_H_

#define ZU_VERSION_BLOCK(block_name, language)                          \
  1 VERSIONINFO                                                         \
  FILEVERSION 1, 0, 0, 0                                                \
  PRODUCTVERSION 1, 0, 0, 0                                             \
  FILEFLAGSMASK VS_FFI_FILEFLAGSMASK                                    \
  FILEFLAGS 0                                                           \
  FILEOS VOS_NT_WINDOWS32                                               \
  FILETYPE VFT_DLL                                                      \
  FILESUBTYPE VFT2_UNKNOWN                                              \
  BEGIN                                                                 \
    BLOCK "StringFileInfo"                                              \
    BEGIN                                                               \
      BLOCK block_name                                                  \
      BEGIN                                                             \
        VALUE "CompanyName", "Pelmar"                                   \
        VALUE "FileDescription", ZU_VERSION_DESCRIPTION                 \
        VALUE "FileVersion", "1, 0, 0, 0"                               \
        VALUE "InternalName", ZU_VERSION_INTERNAL_NAME                  \
        VALUE "LegalCopyright", "Copyright (C) 2026 Pelmar"             \
        VALUE "LegalTrademarks", "Pelmar/OCX is a trademark of Pelmar"  \
        VALUE "OriginalFilename", ZU_VERSION_ORIGINAL_NAME              \
        VALUE "ProductName", ZU_VERSION_DESCRIPTION                     \
        VALUE "ProductVersion", "1, 0, 0, 0"                            \
        VALUE "OLESelfRegister", ""                                     \
      END                                                               \
    END                                                                 \
    BLOCK "VarFileInfo"                                                 \
    BEGIN                                                               \
      VALUE "Translation", language, 0x04B0                             \
    END                                                                 \
  END

#endif  // ZU_SHELL_VERSION_BLOCK_H_
