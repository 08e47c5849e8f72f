#include "chm/container/ChmWriter.h"

#include "chm/container/DirectoryName.h"
#include "chm/container/ByteLayout.h"
#include "chm/lzx/LzxFormat.h"
#include "chm/lzx/LzxSectionCompressor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <fcntl.h>
#include <unistd.h>

namespace quorlix::chm {

namespace {

constexpr std::uint8_t kFileGuid1[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                         0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr std::uint8_t kFileGuid2[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                         0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr std::uint8_t kDirectoryGuid[16] = {0x6A, 0x92, 0x02, 0x5D, 0x2E, 0x21, 0xD0, 0x11,
                                             0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

constexpr std::uint32_t kFileHeaderSize = 0x60;
constexpr std::uint32_t kHeaderSection0Size = 0x18;
constexpr std::uint32_t kDirectoryHeaderSize = 0x54;
constexpr std::uint32_t kResetTableHeaderSize = 0x28;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

constexpr std::string_view kLzxTransform = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";
const std::string kStorage = "::DataSpace/Storage/MSCompressed/";

std::runtime_error writeError(const std::filesystem::path &path)
{
    return std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
}

// A scratch file for the compressed section, in the folder of the result so
// that its size counts against the same disk, and gone once closed.
std::FILE *openScratch(const std::filesystem::path &besides)
{
    std::string pattern = (besides.parent_path() / ".quorlix-hhc-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) {
        ::unlink(pattern.c_str());
        if (std::FILE *file = ::fdopen(fd, "w+b"))
            return file;
        ::close(fd);
    }
    return std::tmpfile();
}

void appendUtf16(std::vector<std::uint8_t> &out, std::string_view ascii)
{
    for (char c : ascii)
        appendLe16(out, static_cast<std::uint8_t>(c));
}

} // namespace

ChmWriter::ChmWriter(const std::filesystem::path &file, Options options)
    : options_(options), path_(file)
{
    // Never written through a symbolic link put in the file's place.
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    out_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !out_)
        ::close(fd);
    if (!out_)
        throw std::runtime_error("cannot create " + file.string() + ": " + std::strerror(errno));
    scratch_ = openScratch(file);
    if (!scratch_) {
        std::fclose(out_);
        throw std::runtime_error("cannot create a scratch file beside " + file.string() + ": " +
                                 std::strerror(errno));
    }
    compressor_ = std::make_unique<LzxSectionCompressor>(
        [this](std::span<const std::uint8_t> bytes) { append(scratch_, bytes); }, options.threads);
}

ChmWriter::~ChmWriter()
{
    if (out_)
        std::fclose(out_);
    if (scratch_)
        std::fclose(scratch_);
}

void ChmWriter::append(std::FILE *file, std::span<const std::uint8_t> bytes)
{
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw writeError(path_);
}

bool ChmWriter::contains(std::string_view name) const
{
    return folded_.count(foldedName(name)) != 0;
}

void ChmWriter::claim(const std::string &name)
{
    if (name.empty())
        throw std::invalid_argument("a help file entry needs a name");
    if (!folded_.insert(foldedName(name)).second)
        throw std::invalid_argument("the name " + name + " is in the help file already");
}

void ChmWriter::beginFile(std::string name)
{
    claim(name);
    entries_.push_back({std::move(name), 1, contentOffset_, 0});
}

void ChmWriter::write(std::span<const std::uint8_t> bytes)
{
    compressor_->write(bytes);
    contentOffset_ += bytes.size();
}

void ChmWriter::adoptInterval(LzxInterval interval)
{
    compressor_->adopt(std::move(interval));
    contentOffset_ += kLzxResetInterval;
}

void ChmWriter::addPlacedFile(std::string name, std::uint64_t offset, std::uint64_t length)
{
    if (offset > contentOffset_ || length > contentOffset_ - offset)
        throw std::invalid_argument("the file " + name + " lies past the adopted content");
    claim(name);
    entries_.push_back({std::move(name), 1, offset, length});
}

void ChmWriter::endFile()
{
    DirectoryEntry &entry = entries_.back();
    entry.length = contentOffset_ - entry.offset;
}

void ChmWriter::addFile(std::string name, std::span<const std::uint8_t> bytes, bool compressed)
{
    if (compressed) {
        beginFile(std::move(name));
        write(bytes);
        endFile();
        return;
    }
    claim(name);
    addSection0File(name, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void ChmWriter::addFolderEntries()
{
    // An entry for every folder a page's name passes through.
    std::unordered_set<std::string> folders;
    for (const DirectoryEntry &entry : entries_) {
        if (entry.name.empty() || entry.name[0] != '/')
            continue;
        for (std::size_t slash = entry.name.find('/', 1); slash != std::string::npos;
             slash = entry.name.find('/', slash + 1))
            folders.insert(entry.name.substr(0, slash + 1));
    }
    if (!entries_.empty())
        folders.insert("/");
    for (const std::string &folder : folders)
        if (folded_.insert(foldedName(folder)).second)
            entries_.push_back({folder, 0, 0, 0});
}

void ChmWriter::addSection0File(const std::string &name, const std::vector<std::uint8_t> &bytes)
{
    entries_.push_back({name, 0, section0_.size(), bytes.size()});
    section0_.insert(section0_.end(), bytes.begin(), bytes.end());
}

// The files that describe the LZX section, all in section 0.
void ChmWriter::addDataSpaceFiles(const LzxSectionCompressor::Result &lzx)
{
    std::vector<std::uint8_t> names;
    // The two sections' names, as counted UTF-16 strings, after the total
    // length in 16-bit words.
    appendLe16(names, 0);
    appendLe16(names, 2);
    for (std::string_view name : {std::string_view("Uncompressed"), std::string_view("MSCompressed")}) {
        appendLe16(names, static_cast<std::uint16_t>(name.size()));
        appendUtf16(names, name);
        appendLe16(names, 0);
    }
    putLe16(names.data(), static_cast<std::uint16_t>(names.size() / 2));
    addSection0File("::DataSpace/NameList", names);

    std::vector<std::uint8_t> control; // LZXC version 2: sizes in frames of 32 KiB
    appendLe32(control, 6);             // dwords that follow
    appendBytes(control, "LZXC");
    appendLe32(control, 2);             // version
    appendLe32(control, kLzxResetInterval / kLzxFrameSize);
    appendLe32(control, lzx::kWindowSize / kLzxFrameSize);
    appendLe32(control, 1);             // windows per reset
    appendLe32(control, 0);
    addSection0File(kStorage + "ControlData", control);

    std::vector<std::uint8_t> span;
    appendLe64(span, lzx.uncompressedSize);
    addSection0File(kStorage + "SpanInfo", span);

    std::vector<std::uint8_t> transforms;
    appendUtf16(transforms, kLzxTransform);
    addSection0File(kStorage + "Transform/List", transforms);

    // The reset table lists the frames that hold content, then where they
    // end. The compressed stream goes on to the end of the last reset
    // interval (a padding frame), but readers that count frames from the
    // content's length (7-Zip) want neither that frame nor its bytes here.
    const std::size_t frames = static_cast<std::size_t>((lzx.uncompressedSize + kLzxFrameSize - 1) / kLzxFrameSize);
    if (frames > lzx.frameOffsets.size())
        throw std::logic_error("the compressor reported fewer frames than its content fills");
    const std::uint64_t framesEnd = frames < lzx.frameOffsets.size() ? lzx.frameOffsets[frames] : lzx.compressedSize;
    std::vector<std::uint8_t> table;
    appendLe32(table, 2);                                      // version
    appendLe32(table, static_cast<std::uint32_t>(frames + 1)); // entries
    appendLe32(table, 8);                                      // entry size
    appendLe32(table, kResetTableHeaderSize);
    appendLe64(table, lzx.uncompressedSize);
    appendLe64(table, framesEnd);                              // compressed size
    appendLe64(table, kLzxFrameSize);
    for (std::size_t frame = 0; frame < frames; ++frame)
        appendLe64(table, lzx.frameOffsets[frame]);
    appendLe64(table, framesEnd);
    const std::string instanceData = kStorage + "Transform/" + std::string(kLzxTransform) + "/InstanceData/";
    addSection0File(instanceData + "ResetTable", table);
    entries_.push_back({instanceData, 0, 0, 0}); // its folder, as the storage readers of Windows list it

    entries_.push_back({kStorage + "Content", 0, section0_.size(), lzx.compressedSize});
}

// The file header (ITSF), header section 0 and the directory header (ITSP).
std::vector<std::uint8_t> ChmWriter::headers(const FileLayout &layout) const
{
    std::vector<std::uint8_t> head;
    appendBytes(head, "ITSF");
    appendLe32(head, 3); // version
    appendLe32(head, kFileHeaderSize);
    appendLe32(head, 1);
    for (int shift = 24; shift >= 0; shift -= 8) // the time stamp is big-endian
        head.push_back(static_cast<std::uint8_t>(options_.timestamp >> shift));
    appendLe32(head, options_.languageId);
    head.insert(head.end(), std::begin(kFileGuid1), std::end(kFileGuid1));
    head.insert(head.end(), std::begin(kFileGuid2), std::end(kFileGuid2));
    appendLe64(head, kFileHeaderSize);       // header section 0: where, how long
    appendLe64(head, kHeaderSection0Size);
    appendLe64(head, layout.directoryOffset); // the directory: where, how long
    appendLe64(head, layout.directoryLength);
    appendLe64(head, layout.contentOffset);   // section 0

    appendLe32(head, 0x01FE); // header section 0
    appendLe32(head, 0);
    appendLe64(head, layout.fileSize);
    appendLe32(head, 0);
    appendLe32(head, 0);

    const DirectoryChunks &directory = *layout.directory;
    appendBytes(head, "ITSP");
    appendLe32(head, 1); // version
    appendLe32(head, kDirectoryHeaderSize);
    appendLe32(head, 0x0A);
    appendLe32(head, kDirectoryChunkSize);
    appendLe32(head, kQuickrefDensity);
    appendLe32(head, directory.depth);
    appendLe32(head, static_cast<std::uint32_t>(directory.indexRoot));
    appendLe32(head, 0); // first listing chunk
    appendLe32(head, directory.lastListingChunk);
    appendLe32(head, kNone);
    appendLe32(head, directory.chunkCount);
    appendLe32(head, options_.languageId);
    head.insert(head.end(), std::begin(kDirectoryGuid), std::end(kDirectoryGuid));
    appendLe32(head, kDirectoryHeaderSize);
    appendLe32(head, kNone);
    appendLe32(head, kNone);
    appendLe32(head, kNone);
    return head;
}

void ChmWriter::copyScratch()
{
    std::rewind(scratch_);
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), scratch_);
        if (got == 0)
            break;
        append(out_, std::span(buffer.data(), got));
    }
    if (std::ferror(scratch_))
        throw std::runtime_error("cannot read back the scratch file: " + std::string(std::strerror(errno)));
}

std::uint64_t ChmWriter::finish()
{
    const auto lzx = compressor_->finish();
    if (std::fflush(scratch_) != 0)
        throw writeError(path_);

    addFolderEntries();
    addDataSpaceFiles(lzx);
    std::sort(entries_.begin(), entries_.end(), [](const DirectoryEntry &a, const DirectoryEntry &b) {
        return compareDirectoryNames(a.name, b.name) < 0;
    });
    const DirectoryChunks directory = buildDirectoryChunks(entries_);

    FileLayout layout;
    layout.directory = &directory;
    layout.directoryOffset = kFileHeaderSize + kHeaderSection0Size;
    layout.directoryLength = kDirectoryHeaderSize + directory.bytes.size();
    layout.contentOffset = layout.directoryOffset + layout.directoryLength;
    layout.fileSize = layout.contentOffset + section0_.size() + lzx.compressedSize;

    append(out_, headers(layout));
    append(out_, directory.bytes);
    append(out_, section0_);
    copyScratch();
    if (std::fflush(out_) != 0 || ::fsync(::fileno(out_)) != 0)
        throw writeError(path_);
    const int closed = std::fclose(out_);
    out_ = nullptr;
    if (closed != 0)
        throw writeError(path_);
    return layout.fileSize;
}

} // namespace quorlix::chm
