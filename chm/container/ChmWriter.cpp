#include "chm/container/ChmWriter.h"

#include "chm/container/DirectoryName.h"
#include "chm/container/Encint.h"
#include "chm/lzx/LzxSectionCompressor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
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
constexpr std::uint32_t kFrameSize = 0x8000;

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

// The compressor of the LZX section; one type chosen here for the whole writer.
class SectionCompressor : public LzxSectionCompressor {
public:
    using LzxSectionCompressor::LzxSectionCompressor;
};

ChmWriter::ChmWriter(const std::filesystem::path &file, Options options)
    : options_(options), path_(file)
{
    out_ = std::fopen(file.c_str(), "wb");
    if (!out_)
        throw std::runtime_error("cannot create " + file.string() + ": " + std::strerror(errno));
    scratch_ = openScratch(file);
    if (!scratch_) {
        std::fclose(out_);
        throw std::runtime_error("cannot create a scratch file beside " + file.string() + ": " +
                                 std::strerror(errno));
    }
    compressor_ = std::make_unique<SectionCompressor>(
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
    inFile_ = true;
}

void ChmWriter::write(std::span<const std::uint8_t> bytes)
{
    compressor_->write(bytes);
    contentOffset_ += bytes.size();
}

void ChmWriter::endFile()
{
    DirectoryEntry &entry = entries_.back();
    entry.length = contentOffset_ - entry.offset;
    inFile_ = false;
    ++files_;
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
    entries_.push_back({std::move(name), 0, section0_.size(), bytes.size()});
    section0_.insert(section0_.end(), bytes.begin(), bytes.end());
    ++files_;
}

ChmWriter::Totals ChmWriter::finish()
{
    const auto lzx = compressor_->finish();
    if (std::fflush(scratch_) != 0)
        throw writeError(path_);

    // Folders of the pages: an entry for every folder a name passes through.
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

    // The files that describe the LZX section, all in section 0.
    auto addSystem = [this](const std::string &name, const std::vector<std::uint8_t> &bytes) {
        entries_.push_back({name, 0, section0_.size(), bytes.size()});
        section0_.insert(section0_.end(), bytes.begin(), bytes.end());
    };
    std::vector<std::uint8_t> bytes;
    // Names of the two sections, as counted UTF-16 strings.
    appendLe16(bytes, 0); // total length in 16-bit words, set below
    appendLe16(bytes, 2);
    for (std::string_view name : {std::string_view("Uncompressed"), std::string_view("MSCompressed")}) {
        appendLe16(bytes, static_cast<std::uint16_t>(name.size()));
        appendUtf16(bytes, name);
        appendLe16(bytes, 0);
    }
    putLe16(bytes.data(), static_cast<std::uint16_t>(bytes.size() / 2));
    addSystem("::DataSpace/NameList", bytes);

    bytes.clear(); // LZXC version 2: sizes in frames of 32 KiB
    appendLe32(bytes, 6);
    appendBytes(bytes, "LZXC");
    appendLe32(bytes, 2);
    appendLe32(bytes, 2); // reset interval: 64 KiB
    appendLe32(bytes, 2); // window: 64 KiB
    appendLe32(bytes, 1); // windows per reset
    appendLe32(bytes, 0);
    addSystem(kStorage + "ControlData", bytes);

    bytes.clear();
    appendLe64(bytes, lzx.uncompressedSize);
    addSystem(kStorage + "SpanInfo", bytes);

    bytes.clear();
    appendUtf16(bytes, kLzxTransform);
    addSystem(kStorage + "Transform/List", bytes);

    // The reset table lists the frames that hold content, then where they
    // end. The compressed stream goes on to the end of the last reset
    // interval (a padding frame), but readers that count frames from the
    // content's length (7-Zip) want neither that frame nor its bytes here.
    const std::size_t frames = static_cast<std::size_t>((lzx.uncompressedSize + kFrameSize - 1) / kFrameSize);
    if (frames > lzx.frameOffsets.size())
        throw std::logic_error("the compressor reported fewer frames than its content fills");
    const std::uint64_t framesEnd = frames < lzx.frameOffsets.size() ? lzx.frameOffsets[frames] : lzx.compressedSize;
    bytes.clear();
    appendLe32(bytes, 2);
    appendLe32(bytes, static_cast<std::uint32_t>(frames + 1));
    appendLe32(bytes, 8);
    appendLe32(bytes, 0x28);
    appendLe64(bytes, lzx.uncompressedSize);
    appendLe64(bytes, framesEnd);
    appendLe64(bytes, kFrameSize);
    for (std::size_t frame = 0; frame < frames; ++frame)
        appendLe64(bytes, lzx.frameOffsets[frame]);
    appendLe64(bytes, framesEnd);
    const std::string instanceData = kStorage + "Transform/" + std::string(kLzxTransform) + "/InstanceData/";
    addSystem(instanceData + "ResetTable", bytes);
    entries_.push_back({instanceData, 0, 0, 0}); // its folder, as the storage readers of Windows list it

    entries_.push_back({kStorage + "Content", 0, section0_.size(), lzx.compressedSize});

    std::sort(entries_.begin(), entries_.end(), [](const DirectoryEntry &a, const DirectoryEntry &b) {
        return compareDirectoryNames(a.name, b.name) < 0;
    });
    const DirectoryChunks directory = buildDirectoryChunks(entries_);

    const std::uint64_t directoryOffset = kFileHeaderSize + kHeaderSection0Size;
    const std::uint64_t directoryLength = kDirectoryHeaderSize + directory.bytes.size();
    const std::uint64_t contentOffset = directoryOffset + directoryLength;
    const std::uint64_t fileSize = contentOffset + section0_.size() + lzx.compressedSize;

    std::vector<std::uint8_t> head;
    appendBytes(head, "ITSF");
    appendLe32(head, 3);
    appendLe32(head, kFileHeaderSize);
    appendLe32(head, 1);
    for (int shift = 24; shift >= 0; shift -= 8) // the time stamp is big-endian
        head.push_back(static_cast<std::uint8_t>(options_.timestamp >> shift));
    appendLe32(head, options_.languageId);
    head.insert(head.end(), std::begin(kFileGuid1), std::end(kFileGuid1));
    head.insert(head.end(), std::begin(kFileGuid2), std::end(kFileGuid2));
    appendLe64(head, kFileHeaderSize);
    appendLe64(head, kHeaderSection0Size);
    appendLe64(head, directoryOffset);
    appendLe64(head, directoryLength);
    appendLe64(head, contentOffset);

    appendLe32(head, 0x01FE);
    appendLe32(head, 0);
    appendLe64(head, fileSize);
    appendLe32(head, 0);
    appendLe32(head, 0);

    appendBytes(head, "ITSP");
    appendLe32(head, 1);
    appendLe32(head, kDirectoryHeaderSize);
    appendLe32(head, 0x0A);
    appendLe32(head, kDirectoryChunkSize);
    appendLe32(head, kQuickrefDensity);
    appendLe32(head, directory.depth);
    appendLe32(head, static_cast<std::uint32_t>(directory.indexRoot));
    appendLe32(head, 0); // first listing chunk
    appendLe32(head, directory.lastListingChunk);
    appendLe32(head, 0xFFFFFFFFu);
    appendLe32(head, directory.chunkCount);
    appendLe32(head, options_.languageId);
    head.insert(head.end(), std::begin(kDirectoryGuid), std::end(kDirectoryGuid));
    appendLe32(head, kDirectoryHeaderSize);
    appendLe32(head, 0xFFFFFFFFu);
    appendLe32(head, 0xFFFFFFFFu);
    appendLe32(head, 0xFFFFFFFFu);

    append(out_, head);
    append(out_, directory.bytes);
    append(out_, section0_);

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
    if (std::fflush(out_) != 0 || ::fsync(::fileno(out_)) != 0)
        throw writeError(path_);
    const int closed = std::fclose(out_);
    out_ = nullptr;
    if (closed != 0)
        throw writeError(path_);

    Totals totals;
    totals.files = files_;
    totals.contentBytes = lzx.uncompressedSize;
    totals.compressedBytes = lzx.compressedSize;
    totals.fileSize = fileSize;
    return totals;
}

} // namespace quorlix::chm
