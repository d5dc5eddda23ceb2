// The plain parts of the command-line field operations, and the text-file writer that the
// environment report shares with Save.
#pragma once

#include "korvane.h"

#include <string>

// Files of this size or more are refused before anything is read.
constexpr unsigned long long kCommandFileLimit = 0x7FFFFFF0;

// The bytes of a command-line file as the field's text: UTF-16LE or UTF-8 after their byte order
// marks converted to the ANSI code page, anything else as it is. Refused: zero bytes in the text,
// UTF-16 of odd length, malformed UTF-8, characters the ANSI code page has no place for.
CommandFileResult DecodeCommandFile(const char *bytes, size_t size, std::string *text);

// The field after a dropped file: a new line (or the separator given; nothing when the field is
// empty) with the path, quoted when it holds a blank.
std::string AppendDroppedCommand(const std::string &field, const char *path, const char *separator = "\r\n");

enum class TextFileWrite { Ok, CannotCreate, CannotWrite };
// Writes length bytes of text as they are: no byte order mark, no terminating zero; an existing
// file is replaced.
TextFileWrite WriteTextFile(const char *path, const char *text, size_t length);
// The error box for a failed WriteTextFile (nothing for Ok).
void ShowTextFileWriteError(HWND owner, TextFileWrite result);
// The save dialog with the overwrite question; path holds a suggested name on entry and the
// chosen one on return. False when the user cancelled.
bool AskSaveFileName(HWND owner, char *path, DWORD size, const char *title, const char *filter,
                     const char *defaultExtension);
