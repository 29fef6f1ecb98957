#include "movie_timing.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "mp4_boxes.h"

namespace md {

namespace {

uint64_t Read(const std::string& bytes, size_t at, int count) {
  if (at + count > bytes.size()) throw std::runtime_error("index cut short");
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void Write(std::string& bytes, size_t at, uint64_t value, int count) {
  for (int i = count - 1; i >= 0; --i, value >>= 8) bytes[at + i] = static_cast<char>(value & 0xff);
}

// A box inside a buffer: where it starts, how long its header is, its size.
struct Box {
  std::string type;
  size_t offset, header, size;
  size_t body() const { return offset + header; }
  size_t end() const { return offset + size; }
};

std::vector<Box> Children(const std::string& bytes, size_t begin, size_t end) {
  std::vector<Box> boxes;
  for (size_t at = begin; at + 8 <= end;) {
    uint64_t size = Read(bytes, at, 4);
    size_t header = 8;
    if (size == 1) {
      size = Read(bytes, at + 8, 8);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || size > end - at) throw std::runtime_error("damaged index");
    boxes.push_back({bytes.substr(at + 4, 4), at, header, static_cast<size_t>(size)});
    at += size;
  }
  return boxes;
}

std::vector<Box> Children(const std::string& bytes, const Box& box) { return Children(bytes, box.body(), box.end()); }

std::string WithHeader(const char* type, const std::string& body) {
  std::string box(8, '\0');
  Write(box, 0, 8 + body.size(), 4);
  box.replace(4, 4, type, 4);
  return box + body;
}

std::string SystemText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// The file's "moov" box, read whole; empty without one.
std::string ReadIndex(const std::string& path, Mp4Box* where = nullptr) {
  for (const Mp4Box& box : ReadTopLevelBoxes(path)) {
    if (box.type != "moov") continue;
    if (box.size > (256u << 20)) throw std::runtime_error("index of " + path + " is too large");
    std::string bytes(box.size, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(SystemText("cannot read", path));
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(box.offset));
    ::close(fd);
    if (got != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("cannot read the index of " + path);
    if (where) *where = box;
    return bytes;
  }
  return {};
}

// Offsets of the duration field in mvhd and tkhd bodies, by version.
size_t MovieDurationAt(int version) { return version == 1 ? 4 + 8 + 8 + 4 : 4 + 4 + 4 + 4; }
size_t TrackDurationAt(int version) { return version == 1 ? 4 + 8 + 8 + 4 + 4 : 4 + 4 + 4 + 4 + 4; }

void ReadEdits(const std::string& bytes, const Box& edts, TrackTiming& track) {
  for (const Box& elst : Children(bytes, edts)) {
    if (elst.type != "elst") continue;
    const int version = static_cast<unsigned char>(bytes[elst.body()]);
    const uint64_t count = Read(bytes, elst.body() + 4, 4);
    size_t at = elst.body() + 8;
    const int width = version == 1 ? 8 : 4;
    for (uint64_t i = 0; i < count; ++i, at += 2 * width + 4) {
      const uint64_t duration = Read(bytes, at, width);
      uint64_t raw = Read(bytes, at + width, width);
      const int64_t mediaTime = width == 8 ? static_cast<int64_t>(raw) : static_cast<int32_t>(raw);
      if (mediaTime == -1) {
        track.emptyBefore += static_cast<int64_t>(duration);
        continue;
      }
      track.mediaStart = mediaTime;
      return;
    }
  }
}

// The chunk offsets of a table, those at or past `from` moved by delta.
void MoveChunkOffsets(std::string& bytes, const Box& table, uint64_t from, int64_t delta) {
  const int width = table.type == "co64" ? 8 : 4;
  const uint64_t count = Read(bytes, table.body() + 4, 4);
  for (uint64_t i = 0; i < count; ++i) {
    const size_t at = table.body() + 8 + i * width;
    const uint64_t offset = Read(bytes, at, width);
    if (offset < from) continue;
    const uint64_t moved = offset + delta;
    if (width == 4 && moved > UINT32_MAX) throw std::runtime_error("chunk offset beyond 4 GB");
    Write(bytes, at, moved, width);
  }
}

// A copy of a box with its sample tables' chunk offsets moved (see
// MoveChunkOffsets); the containers on the way are rebuilt around them.
std::string Moved(const std::string& bytes, const Box& box, uint64_t from, int64_t delta) {
  if (delta == 0) return bytes.substr(box.offset, box.size);
  if (box.type == "stco" || box.type == "co64") {
    std::string copy = bytes.substr(box.offset, box.size);
    MoveChunkOffsets(copy, Box{box.type, 0, box.header, box.size}, from, delta);
    return copy;
  }
  if (box.type != "mdia" && box.type != "minf" && box.type != "stbl") return bytes.substr(box.offset, box.size);
  std::string body;
  for (const Box& child : Children(bytes, box)) body += Moved(bytes, child, from, delta);
  return WithHeader(box.type.c_str(), body);
}

std::string RebuiltTrack(const std::string& bytes, const Box& trak, const TrackTiming& timing, uint64_t from,
                         int64_t delta) {
  std::string body;
  for (const Box& child : Children(bytes, trak)) {
    if (child.type == "edts") continue;
    std::string copy = Moved(bytes, child, from, delta);
    if (child.type == "tkhd") {
      const int version = static_cast<unsigned char>(copy[child.header]);
      if (version == 1 || timing.duration <= UINT32_MAX)
        Write(copy, child.header + TrackDurationAt(version), timing.duration, version == 1 ? 8 : 4);
      copy += timing.editBox;  // the edit list follows the header
    }
    body += copy;
  }
  return WithHeader("trak", body);
}

std::string RebuiltIndex(const std::string& bytes, const MovieTiming& timing, uint64_t from, int64_t delta) {
  const std::vector<Box> top = Children(bytes, 0, bytes.size());
  if (top.size() != 1 || top[0].type != "moov") throw std::runtime_error("no index");
  std::string body;
  size_t track = 0;
  for (const Box& child : Children(bytes, top[0])) {
    if (child.type == "trak") {
      if (track >= timing.tracks.size()) throw std::runtime_error("more tracks than the input's");
      body += RebuiltTrack(bytes, child, timing.tracks[track++], from, delta);
      continue;
    }
    std::string copy = bytes.substr(child.offset, child.size);
    if (child.type == "mvhd") {
      const int version = static_cast<unsigned char>(copy[child.header]);
      const size_t at = child.header + MovieDurationAt(version);
      Write(copy, at - 4, timing.timescale, 4);
      if (version == 1 || timing.duration <= UINT32_MAX) Write(copy, at, timing.duration, version == 1 ? 8 : 4);
    }
    body += copy;
  }
  if (track != timing.tracks.size()) throw std::runtime_error("fewer tracks than the input's");
  return WithHeader("moov", body);
}

void WriteAll(int fd, const char* data, size_t size, uint64_t at, const std::string& path) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error(SystemText("cannot write", path));
    data += n;
    size -= static_cast<size_t>(n);
    at += static_cast<uint64_t>(n);
  }
}

void ReadAll(int fd, char* data, size_t size, uint64_t at, const std::string& path) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error(SystemText("cannot read", path));
    data += n;
    size -= static_cast<size_t>(n);
    at += static_cast<uint64_t>(n);
  }
}

// Moves the bytes from `from` to the end of the file by delta.
void ShiftTail(int fd, uint64_t from, int64_t delta, const std::string& path) {
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < 0) throw std::runtime_error(SystemText("cannot read", path));
  const uint64_t fileEnd = static_cast<uint64_t>(end);
  std::string block(1 << 20, '\0');
  if (delta > 0) {
    for (uint64_t pos = fileEnd; pos > from;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), pos - from));
      pos -= n;
      ReadAll(fd, block.data(), n, pos, path);
      WriteAll(fd, block.data(), n, pos + delta, path);
    }
  } else {
    for (uint64_t pos = from; pos < fileEnd;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), fileEnd - pos));
      ReadAll(fd, block.data(), n, pos, path);
      WriteAll(fd, block.data(), n, pos + delta, path);
      pos += n;
    }
    if (::ftruncate(fd, static_cast<off_t>(fileEnd + delta)) != 0)
      throw std::runtime_error(SystemText("cannot write", path));
  }
}

}  // namespace

std::optional<MovieTiming> ReadMovieTiming(const std::string& path) {
  try {
    const std::string bytes = ReadIndex(path);
    if (bytes.empty()) return std::nullopt;
    const std::vector<Box> top = Children(bytes, 0, bytes.size());
    MovieTiming timing;
    bool header = false;
    for (const Box& child : Children(bytes, top.at(0))) {
      if (child.type == "mvex") return std::nullopt;
      if (child.type == "mvhd") {
        const int version = static_cast<unsigned char>(bytes.at(child.body()));
        const size_t at = child.body() + MovieDurationAt(version);
        timing.timescale = static_cast<uint32_t>(Read(bytes, at - 4, 4));
        timing.duration = Read(bytes, at, version == 1 ? 8 : 4);
        header = true;
      } else if (child.type == "trak") {
        TrackTiming track;
        for (const Box& part : Children(bytes, child)) {
          if (part.type == "tkhd") {
            const int version = static_cast<unsigned char>(bytes.at(part.body()));
            track.duration = Read(bytes, part.body() + TrackDurationAt(version), version == 1 ? 8 : 4);
          } else if (part.type == "edts") {
            track.editBox = bytes.substr(part.offset, part.size);
            ReadEdits(bytes, part, track);
          }
        }
        timing.tracks.push_back(std::move(track));
      }
    }
    if (!header || timing.timescale == 0) return std::nullopt;
    return timing;
  } catch (const std::exception&) {
    return std::nullopt;  // the format library will say what is wrong with it
  }
}

void ApplyMovieTiming(const std::string& path, const MovieTiming& timing) {
  Mp4Box where;
  std::string old;
  try {
    old = ReadIndex(path, &where);
    if (old.empty()) throw std::runtime_error("no index");
    // Free space right behind the index takes its growth.
    uint64_t room = where.size;
    const std::vector<Mp4Box> boxes = ReadTopLevelBoxes(path);
    for (auto it = std::find_if(boxes.begin(), boxes.end(), [&](const Mp4Box& b) { return b.offset == where.offset; });
         it != boxes.end() && ++it != boxes.end() && (it->type == "free" || it->type == "skip");)
      room += it->size;
    const uint64_t after = where.offset + where.size;
    std::string index = RebuiltIndex(old, timing, after, 0);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(SystemText("cannot write", path));
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    if (index.size() == room || index.size() + 8 <= room) {
      if (index.size() < room) index += WithHeader("free", std::string(room - index.size() - 8, '\0'));
      WriteAll(fd, index.data(), index.size(), where.offset, path);
      return;
    }
    // No room: what follows the index moves, and the chunk offsets into it.
    const int64_t delta = static_cast<int64_t>(index.size()) - static_cast<int64_t>(where.size);
    index = RebuiltIndex(old, timing, after, delta);
    ShiftTail(fd, after, delta, path);
    WriteAll(fd, index.data(), index.size(), where.offset, path);
  } catch (const std::exception& e) {
    throw std::runtime_error("cannot keep the edit lists in " + path + ": " + e.what());
  }
}

}  // namespace md
