// File names for the format library. Plain UTF-8 paths, Chinese ones included,
// go to the library unchanged. A name the library would misread (a "c:..."
// style name that is not one of its protocols) travels as
// "unicode:utf8:" + name and is opened through a custom AVIO context, because
// today's library no longer lets a program register a protocol of its own.
#pragma once

#include <string>

struct AVFormatContext;
struct AVIOContext;
struct AVInputFormat;
struct AVDictionary;

namespace media {

// The name to hand to the format library: unchanged, or "unicode:utf8:" + name.
// Names longer than 2047 bytes give "" (refused: the open then fails).
std::string UnicodeFileName(const std::string& name);

// True for a stored name that starts with "unicode:utf8:" (and has more).
bool IsUnicodeName(const std::string& storedName);
// The user's file name back from a name stored in a format context.
std::string DecodeFileName(const std::string& storedName);

// Nothing to register with today's library; kept as the loader's hook after
// binding avformat, so the protocol is ready whenever avformat is.
void RegisterUnicodeProtocol();

// Opens a "unicode:utf8:" name as an AVIO context. flags: AVIO_FLAG_READ
// (existing file), AVIO_FLAG_WRITE or AVIO_FLAG_READ_WRITE (file made anew).
// Returns 0, or AVERROR(ENOENT) when the file cannot be opened.
int OpenUnicodeIo(const std::string& storedName, int flags, AVIOContext** io);
// Wraps a file the caller has opened (fd, owned from then on, also on
// failure) as an AVIO context like OpenUnicodeIo's: seekable, written when
// flags has AVIO_FLAG_WRITE. For files that must be made in a way of their
// own (O_EXCL, say). Returns 0 or AVERROR(ENOMEM).
int WrapFileIo(int fd, int flags, AVIOContext** io);
// The file under a context made here, or -1.
int UnicodeIoFile(const AVIOContext* io);
// Flushes, closes the file and frees the context; *io becomes null.
void CloseUnicodeIo(AVIOContext** io);
// True when io was made by OpenUnicodeIo.
bool IsUnicodeIo(const AVIOContext* io);

// avformat_open_input for any name UnicodeFileName gives: a "unicode:utf8:"
// name opens through OpenUnicodeIo. *context may be preallocated (flags set).
int OpenInputFile(AVFormatContext** context, const std::string& libraryName, const AVInputFormat* format,
                  AVDictionary** options);
// avformat_close_input plus the custom AVIO context when there is one.
void CloseInputFile(AVFormatContext** context);

}  // namespace media
