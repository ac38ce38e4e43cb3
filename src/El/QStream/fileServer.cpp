#include "El/QStream/fileServer.h"

#include "El/QStream/qstream.h"
#include "Es/Containers/nameText.h"

namespace {

constexpr int kDefaultPageSize = 8192;

}  // namespace

bool QIFileServerFunctions::ReleaseHandles(const char*) { return true; }

bool QIFileServerFunctions::Request(IFileRequestCompletion* done, platform::FileHandle, std::int64_t, int) {
  if (done) done->RequestDone();
  return true;
}

void QIFileServerFunctions::ReadPage(StreamPage& page, platform::FileHandle handle, std::int64_t position,
                                     int size) {
  const int pageSize = PageSize();
  if (size > pageSize) size = pageSize;
  Ref<QIStreamBufferPage> buffer = new QIStreamBufferPage(pageSize, 0);
  std::uint32_t arrived = 0;
  if (buffer->Capacity() > 0 && size > 0 && position >= 0 &&
      !platform::CurrentFileSystem()->ReadAt(SystemHandle(handle), static_cast<std::uint64_t>(position),
                                             buffer->Data(), static_cast<std::uint32_t>(size), &arrived)) {
    arrived = 0;
  }
  buffer->SetValid(static_cast<int>(arrived));
  page.start = position;
  page.size = buffer->Size();
  page.buffer = buffer;
}

platform::FileHandle QIFileServerFunctions::OpenRead(const char* name) {
  return platform::CurrentFileSystem()->OpenRead(name);
}
platform::FileHandle QIFileServerFunctions::OpenWrite(const char* name) {
  return platform::CurrentFileSystem()->OpenWrite(name);
}
platform::FileHandle QIFileServerFunctions::OpenAppend(const char* name) {
  return platform::CurrentFileSystem()->OpenAppend(name);
}

void QIFileServerFunctions::MakePermanent(platform::FileHandle) {}

RefString QIFileServerFunctions::HandleName(platform::FileHandle handle) {
  return RefString::Format("Handle %x", static_cast<unsigned>(handle));
}

void QIFileServerFunctions::CloseRead(const char*, platform::FileHandle handle) {
  platform::CurrentFileSystem()->Close(SystemHandle(handle));
}

bool QIFileServerFunctions::IsValid(platform::FileHandle handle) { return platform::IsValidFile(handle); }

int QIFileServerFunctions::PageSize() { return kDefaultPageSize; }

bool QIFileServerFunctions::Copy(const char* source, const char* destination) {
  if (EqualIgnoringCase(source, destination)) return true;
  QIFStream in;
  in.open(source);
  if (in.fail()) return false;
  QOFStream out(destination);
  const std::int64_t written = in.CopyTo(out);
  out.Close();
  // The last block of a copy ends the input early by design, so completeness is judged by the sizes.
  return !out.Fail() && written == in.GetDataSize();
}

std::int64_t QIFileServerFunctions::FileTime(platform::FileHandle handle) {
  std::int64_t seconds = 0;
  return platform::CurrentFileSystem()->LastWriteTime(SystemHandle(handle), &seconds) ? seconds : 0;
}

std::int64_t QIFileServerFunctions::FileSize(platform::FileHandle handle) {
  std::uint64_t size = 0;
  if (!platform::CurrentFileSystem()->Size(SystemHandle(handle), &size)) return 0;
  return size > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(size);
}

platform::FileHandle QIFileServerFunctions::SystemHandle(platform::FileHandle handle) { return handle; }

namespace {
QIFileServerFunctions defaultInstance;
}  // namespace

QIFileServerFunctions* DefaultFileServerFunctions() { return &defaultInstance; }
QIFileServerFunctions* GFileServerFunctions = &defaultInstance;

// ---- operations on names ---------------------------------------------------------------------------

namespace {

// Opens `name` for reading, hands the handle to `use` and closes it; false when it cannot be opened.
template <class Use>
bool WithReadHandle(const char* name, Use use) {
  QIFileServerFunctions* server = GFileServerFunctions;
  const platform::FileHandle handle = server->OpenRead(name);
  if (!server->IsValid(handle)) return false;
  use(server, handle);
  server->CloseRead(name, handle);
  return true;
}

}  // namespace

bool QFileExists(const char* name) {
  return WithReadHandle(name, [](QIFileServerFunctions*, platform::FileHandle) {});
}

std::int64_t QFileSize(const char* name) {
  std::int64_t size = 0;
  WithReadHandle(name, [&](QIFileServerFunctions* server, platform::FileHandle handle) {
    size = server->FileSize(handle);
  });
  return size;
}

std::int64_t QFileTime(const char* name) {
  std::int64_t time = 0;
  WithReadHandle(name, [&](QIFileServerFunctions* server, platform::FileHandle handle) {
    time = server->FileTime(handle);
  });
  return time;
}

bool QFileDelete(const char* name) {
  GFileServerFunctions->ReleaseHandles(name);
  platform::FileSystem* fileSystem = platform::CurrentFileSystem();
  fileSystem->MakeWritable(name);
  return fileSystem->Delete(name);
}

bool QFileDeleteIfPresent(const char* name) { return !QFileExists(name) || QFileDelete(name); }
