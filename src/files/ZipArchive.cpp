#include "files/ZipArchive.h"

#if !defined(ZELKAR_NO_ARCHIVES)
#include <minizip/unzip.h>
#endif

#include <cstring>

#include "platform/FileSystem.h"

namespace NRQLib2 {
namespace NFileCore {
namespace {

// The zip reader holds at most 255 characters of a member name.
[[maybe_unused]] constexpr std::size_t kMaxMemberName = 256;

// Member names are compared as the zip reader's case-insensitive mode does: ASCII letters only.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Deflate cannot expand one byte into more than 1032.
[[maybe_unused]] constexpr std::uint64_t kMaxDeflateRatio = 1032;

[[maybe_unused]] std::uint64_t g_openCount = 0;

CArchiveCache* g_cache = nullptr;

// The archive paths of the cache compare as _stricmp does: equal up to the case of ASCII letters.
bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// Destroys the cache when the process ends, should nothing have done it before.
struct CacheReaper {
  ~CacheReaper() { DestroyArchiveCache(); }
} g_reaper;

}  // namespace

#if defined(ZELKAR_NO_ARCHIVES)
// A build without a zip reader (the WebAssembly one): no archive ever opens, so only loose files
// are found, and a path that names an archive member fails as a missing file does.
CZipArchive::~CZipArchive() = default;
bool CZipArchive::Open(const std::string& path) {
  m_path = path;
  m_zip = nullptr;
  return false;
}
bool CZipArchive::LocateMember(const std::string&) { return false; }
void CZipArchive::BuildIndex() {}
bool CZipArchive::GetCurrentSize(std::uint32_t&) { return false; }
bool CZipArchive::IsPlausibleSize(std::uint32_t) { return false; }
bool CZipArchive::ReadCurrent(void*, std::uint32_t) { return false; }
#else
CZipArchive::~CZipArchive() {
  if (m_zip != nullptr) {
    unzCloseCurrentFile(m_zip);
    unzClose(m_zip);
    m_zip = nullptr;
  }
}

bool CZipArchive::Open(const std::string& path) {
  m_path = path;
  std::string resolved;
  if (!zk_platform::ResolveRegularFile(path, resolved)) return false;
  m_zip = unzOpen(resolved.c_str());
  if (m_zip == nullptr) return false;
  ++g_openCount;
  BuildIndex();
  return true;
}

bool CZipArchive::LocateMember(const std::string& member) {
  if (m_zip == nullptr || member.size() >= kMaxMemberName) return false;
  std::string key = member;
  for (char& c : key) c = c == '\\' ? '/' : UpperAscii(c);
  const auto found = m_index.find(key);
  if (found == m_index.end()) return false;
  unz64_file_pos position{found->second.directoryOffset, found->second.fileNumber};
  return unzGoToFilePos64(m_zip, &position) == UNZ_OK;
}

void CZipArchive::BuildIndex() {
  // The same walk a case-insensitive unzLocateFile makes for every lookup, done once: names
  // compare with ASCII letters folded, the first entry of a name wins, a damaged entry ends the
  // walk (the entries before it stay reachable), and names of 256 characters or more, which the
  // reader cannot return whole, are left out.
  char name[kMaxMemberName + 2];
  for (int status = unzGoToFirstFile(m_zip); status == UNZ_OK; status = unzGoToNextFile(m_zip)) {
    unz_file_info info;
    if (unzGetCurrentFileInfo(m_zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK)
      break;
    if (info.size_filename >= kMaxMemberName) continue;
    std::string key(name, info.size_filename);
    if (key.find('\0') != std::string::npos) key.resize(key.find('\0'));
    for (char& c : key) c = UpperAscii(c);
    unz64_file_pos position;
    if (unzGetFilePos64(m_zip, &position) != UNZ_OK) break;
    m_index.emplace(key, SEntryPosition{position.pos_in_zip_directory, position.num_of_file});
  }
}

bool CZipArchive::GetCurrentSize(std::uint32_t& size) {
  if (m_zip == nullptr) return false;
  char name[260];
  char extra[260];
  char comment[260];
  unz_file_info info;
  if (unzGetCurrentFileInfo(m_zip, &info, name, sizeof(name), extra, sizeof(extra), comment,
                            sizeof(comment)) != UNZ_OK)
    return false;
  if (info.uncompressed_size > 0xFFFFFFFFul) return false;
  size = static_cast<std::uint32_t>(info.uncompressed_size);
  return true;
}

bool CZipArchive::IsPlausibleSize(std::uint32_t size) {
  unz_file_info info;
  if (m_zip == nullptr ||
      unzGetCurrentFileInfo(m_zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    return false;
  if (info.compression_method == 0) return size <= info.compressed_size;
  if (info.compression_method == Z_DEFLATED)
    return size <= static_cast<std::uint64_t>(info.compressed_size) * kMaxDeflateRatio + 64;
  return true;
}

bool CZipArchive::ReadCurrent(void* buffer, std::uint32_t size) {
  if (m_zip == nullptr) return false;
  if (unzOpenCurrentFile(m_zip) != UNZ_OK) return false;
  // The reader takes an unsigned count; reading in slices keeps each within int range.
  auto* out = static_cast<unsigned char*>(buffer);
  std::uint32_t done = 0;
  bool ok = true;
  while (done < size) {
    const std::uint32_t slice = size - done > 0x40000000u ? 0x40000000u : size - done;
    const int got = unzReadCurrentFile(m_zip, out + done, slice);
    if (got <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::uint32_t>(got);
  }
  unzCloseCurrentFile(m_zip);
  return ok && done == size;
}

#endif  // ZELKAR_NO_ARCHIVES

std::uint64_t CZipArchive::GetOpenCount() { return g_openCount; }

CArchiveCache::~CArchiveCache() { Clear(); }

CZipArchive* CArchiveCache::Take(const std::string& archivePath, const std::string& member) {
  for (auto it = m_archives.begin(); it != m_archives.end(); ++it) {
    if (!EqualIgnoringAsciiCase((*it)->GetPath(), archivePath)) continue;
    if ((*it)->LocateMember(member)) {
      CZipArchive* archive = *it;
      m_archives.erase(it);
      --m_count;
      return archive;
    }
    break;
  }
  auto* archive = new CZipArchive();
  if (archive->Open(archivePath) && archive->LocateMember(member)) return archive;
  delete archive;
  return nullptr;
}

void CArchiveCache::GiveBack(CZipArchive* archive) {
  if (archive == nullptr) return;
  m_archives.push_front(archive);
  ++m_count;
  if (m_count > m_capacity) {
    delete m_archives.back();
    m_archives.pop_back();
    --m_count;
  }
}

std::vector<std::string> CArchiveCache::GetPaths() const {
  std::vector<std::string> paths;
  for (const CZipArchive* archive : m_archives) paths.push_back(archive->GetPath());
  return paths;
}

void CArchiveCache::Clear() {
  for (CZipArchive* archive : m_archives) delete archive;
  m_archives.clear();
  m_count = 0;
}

CArchiveCache& GetArchiveCache() {
  if (g_cache == nullptr) g_cache = new CArchiveCache();
  return *g_cache;
}

void DestroyArchiveCache() {
  delete g_cache;
  g_cache = nullptr;
}

}  // namespace NFileCore
}  // namespace NRQLib2
