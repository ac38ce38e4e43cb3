#pragma once
// Byte streams. Input streams (`QIStream`) see their source as a sequence of pages fetched on demand;
// output streams (`QOStream`) collect bytes in a growing buffer that a file stream writes out. Nothing
// throws: an input stream carries a fail flag, an end flag and an `LSError` code; an output file stream
// carries a fail flag and a code. The error code means something only while the fail flag is set.
//
// Input flags after a `read`: all bytes delivered, both clear; some but not all, end and fail set; none
// at all, only end set.

#include <cstdint>
#include <string>

#include "Es/Containers/compactBuf.h"
#include "Es/Containers/refCount.h"
#include "El/QStream/fileBuffer.h"
#include "El/QStream/lsError.h"
#include "El/QStream/streamBuffer.h"
#include "platform/fileSystem.h"

class QOStream;
class QOStrStream;

// Where the text of a stream came from, for streams that track lines.
struct StreamSourcePosition {
  RefString file;
  int line = 1;
};

class QIStream {
 public:
  QIStream() = default;
  virtual ~QIStream() = default;

  // Delivers the page that contains `position`; `previous` (the stream's current buffer) may be
  // released by the source.
  virtual void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) = 0;
  // Makes the next `size` bytes from the current position ready; true when they are.
  virtual bool PreloadBuffer(std::int64_t size);
  // Read-ahead hint for the next `size` bytes; nothing here.
  virtual void PreRead(std::int64_t size);
  virtual std::int64_t GetDataSize() const = 0;
  virtual StreamSourcePosition GetSourcePosition() const;
  virtual void SetSourcePosition(const RefString& file, int line);

  // Copies up to `count` bytes; returns how many were delivered (flags as described above).
  int read(void* destination, int count);
  // The next byte 0..255, or -1 at the end (end flag set). Inline: parsers call it for every byte.
  int get() {
    if (readPos_ >= bufferSize_ && !NextPage()) return -1;
    return static_cast<unsigned char>(buffer_->Data()[readPos_++]);
  }
  // Appends the bytes before the next `stop` byte to `out` and steps past that byte, as `get` would
  // byte by byte; false, with the rest of the input appended and the end flag set, when none follows.
  bool GetUntil(char stop, std::string& out);
  // For readers that scan runs of bytes: the unread bytes of the current page, the next page being
  // fetched when this one is used up, as `get` would; null (size 0, end flag set) at the end. `Advance`
  // then steps past the bytes used, at most `size`.
  const char* PeekPage(int& size) {
    if (readPos_ >= bufferSize_ && !NextPage()) {
      size = 0;
      return nullptr;
    }
    size = bufferSize_ - readPos_;
    return buffer_->Data() + readPos_;
  }
  void Advance(int count) { readPos_ += count; }
  // Steps back one byte, within the current page only.
  void unget();
  // Direction 0: from the start, 1: from the current position, 2: from the end. The target is clipped
  // to [0, GetDataSize()]. Inside the current page only the position moves; elsewhere the page is
  // dropped and both flags are cleared.
  void SeekG(std::int64_t offset, int direction = 0);
  std::int64_t tellg() const { return bufferStart_ + readPos_; }

  bool fail() const { return fail_; }
  bool eof() const { return eof_; }
  LSError error() const { return error_; }
  void SetError(LSError code) { error_ = code; }

  // Copies the rest of the stream to `out` in 4096-byte blocks; returns out's position afterwards.
  std::int64_t CopyTo(QOStream& out);

 protected:
  QIStream(const QIStream&) = default;
  QIStream& operator=(const QIStream&) = default;

  // Drops the current page; the next read fetches the page at `position`.
  void EmptyPage(std::int64_t position);

  Ref<QIStreamBuffer> buffer_;
  std::int64_t bufferStart_ = 0;
  int bufferSize_ = 0;
  int readPos_ = 0;
  bool fail_ = false;
  bool eof_ = false;
  LSError error_ = LSOK;

 private:
  // Fetches the page at the current position; false (end flag set) when it holds nothing there.
  bool NextPage();
};

// A block of memory read as one page.
class QIStrStream : public QIStream {
 public:
  QIStrStream() = default;
  QIStrStream(const void* data, int size) { open(data, size); }
  QIStrStream(const QIStrStream&) = delete;
  QIStrStream& operator=(const QIStrStream&) = delete;

  // Over foreign memory, which is not copied and must outlive the stream.
  void open(const void* data, int size);
  // Over the bytes written to an output string stream so far; the buffer is shared, not copied.
  void open(const QOStrStream& source);

  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override;
  bool PreloadBuffer(std::int64_t) override { return true; }
  std::int64_t GetDataSize() const override { return size_; }

 private:
  void Start(const Ref<QIStreamBuffer>& buffer, int size);

  Ref<QIStreamBuffer> data_;
  int size_ = 0;
};

// An input stream over a byte source.
class QIStreamDataSource : public QIStream {
 public:
  QIStreamDataSource() = default;

  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override;
  bool PreloadBuffer(std::int64_t size) override;
  void PreRead(std::int64_t size) override;
  std::int64_t GetDataSize() const override;

  const Ref<IFileBuffer>& GetSource() const { return source_; }
  // Reads from `source` from position 0 on; the flags are cleared.
  void AttachSource(const Ref<IFileBuffer>& source);

 protected:
  QIStreamDataSource(const QIStreamDataSource&) = default;
  QIStreamDataSource& operator=(const QIStreamDataSource&) = default;

  Ref<IFileBuffer> source_;
};

class QFBank;  // a data bank; defined by the data-bank library

// What the automatic open needs from the data banks. The data-bank library installs an implementation
// in GStreamBankSource; while it is null, data banks are switched off and every open goes to the disk.
class IStreamBankSource {
 public:
  // The loaded bank whose prefix covers `name` (null when none), and the rest of the name in it.
  virtual QFBank* FindBank(const char* name, const char** nameInBank) = 0;
  // Opens an entry window of a bank; null when the bank does not hold the name.
  virtual Ref<IFileBuffer> OpenEntry(QFBank* bank, const char* nameInBank, std::int64_t start,
                                     std::int64_t size) = 0;

 protected:
  ~IStreamBankSource() = default;
};
extern IStreamBankSource* GStreamBankSource;

// The file input stream.
class QIFStream : public QIStreamDataSource {
 public:
  static constexpr std::int64_t kWholeFile = -2;  // a size meaning "to the end of the file"

  QIFStream() = default;

  // Opens [start, start + size) of a file on disk. A file that cannot be opened leaves the stream
  // failed, with the code of the system error; a window that starts past the end is empty, not failed.
  void open(const char* name, std::int64_t start = 0, std::int64_t size = kWholeFile);
  // Opens from the data bank that covers the name when there is one, else from the disk.
  void AutoOpen(const char* name, std::int64_t start = 0, std::int64_t size = kWholeFile);
  // Releases the page and the byte source.
  void close();

  QFBank* GetBank() const { return bank_; }

 protected:
  QIFStream(const QIFStream&) = default;  // copies are for QIFStreamB
  QIFStream& operator=(const QIFStream&) = default;

  QFBank* bank_ = nullptr;  // the bank the stream was opened from; null for disk files
};

// A copyable file input stream: a copy shares the byte source and the current page and keeps the bank.
class QIFStreamB : public QIFStream {
 public:
  QIFStreamB() = default;
  QIFStreamB(const QIFStreamB&) = default;
  QIFStreamB& operator=(const QIFStreamB&) = default;
};

// The output stream base: a buffer (64 KiB to start with) at a file position.
class QOStream {
 public:
  static constexpr int kInitialBuffer = 65536;

  QOStream();
  virtual ~QOStream() = default;
  QOStream(const QOStream&) = delete;
  QOStream& operator=(const QOStream&) = delete;

  virtual void Close() {}
  virtual bool Fail() const { return false; }

  // Appends at the write position; returns the position after the write. A write that cannot get room
  // (out of memory, beyond 2 GiB in memory) stops early, and Fail() tells.
  std::int64_t write(const void* source, int count);
  void put(char byte) { write(&byte, 1); }
  std::int64_t tellp() const { return bufferStart_ + writePos_; }
  // Direction 0: from the start, 1: from the current position, 2: from the total size.
  void SeekP(std::int64_t offset, int direction);
  std::int64_t GetTotalSize() const { return totalSize_; }
  const Ref<QIStreamBuffer>& GetBuffer() const { return buffer_; }

 protected:
  // Makes room for a buffer of `capacity` bytes: a memory stream grows; a file stream writes its bytes
  // out and starts an empty buffer.
  virtual void Flush(int capacity) = 0;
  // Moves the write position to an absolute position.
  virtual void SeekP(std::int64_t position) = 0;

  Ref<QIStreamBuffer> buffer_;
  int writePos_ = 0;
  int filled_ = 0;                // bytes of the buffer that hold data
  std::int64_t bufferStart_ = 0;  // file position of the buffer's first byte
  std::int64_t totalSize_ = 0;
};

// Collects everything in memory.
class QOStrStream : public QOStream {
 public:
  using QOStream::SeekP;
  bool Fail() const override { return outOfRoom_; }
  // The bytes written so far (GetTotalSize() of them).
  const char* Data() const { return buffer_->Data(); }

 protected:
  void Flush(int capacity) override;
  void SeekP(std::int64_t position) override;

 private:
  bool outOfRoom_ = false;
};

// Writes to a file through the file server and the file-system seam.
class QOFStream : public QOStream {
 public:
  using QOStream::SeekP;
  QOFStream() = default;
  explicit QOFStream(const char* name) { Open(name); }
  ~QOFStream() override { Close(); }

  // Creates or truncates the file.
  void Open(const char* name) { OpenWith(name, false); }
  // Opens or creates the file and appends to it.
  void OpenAppend(const char* name) { OpenWith(name, true); }
  // Writes out what is buffered and closes; a failure sets the fail flag and, unless a code is set
  // already, the code of the system error.
  void Close() override;
  bool Fail() const override { return fail_; }
  LSError error() const { return error_; }
  bool IsOpen() const { return handle_ != 0; }

 protected:
  void Flush(int capacity) override;
  void SeekP(std::int64_t position) override;

 private:
  void OpenWith(const char* name, bool append);
  // Sets the fail flag and the code of the current system error.
  void FailWithSystemError();

  platform::FileHandle handle_ = 0;
  bool fail_ = false;
  LSError error_ = LSOK;
};
