#include "LzxReaders.h"

#include "chm/lzx/LzxSectionCompressor.h"

#include <chm_lib.h>
#include <mspack.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quorlix::chm::test {

namespace {

void le16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void le32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    le16(out, v & 0xFFFF);
    le16(out, v >> 16);
}
void le64(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    le32(out, static_cast<std::uint32_t>(v));
    le32(out, static_cast<std::uint32_t>(v >> 32));
}
void encint(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    std::uint8_t groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n-- > 0)
        out.push_back(static_cast<std::uint8_t>(groups[n] | (n ? 0x80 : 0)));
}
void guid(std::vector<std::uint8_t>& out, std::uint32_t first)
{
    // {xxxxxxxx-7BAA-11D0-9E0C-00A0C922E6EC} and {5D02926A-212E-11D0-9DF9-00A0C922E6EC}
    le32(out, first);
    const bool directory = first == 0x5D02926A;
    const std::uint8_t tail[12] = {0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    const std::uint8_t dirTail[12] = {0x2E, 0x21, 0xD0, 0x11, 0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    out.insert(out.end(), directory ? dirTail : tail, (directory ? dirTail : tail) + 12);
}

struct Entry {
    std::string name;
    unsigned section;
    std::uint64_t offset, length;
};

const std::string kStorage = "::DataSpace/Storage/MSCompressed/";
const std::string kLzxGuid = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";

} // namespace

LzxStream compressStream(std::span<const std::uint8_t> input, unsigned threads, std::size_t pieceSize)
{
    LzxStream stream;
    LzxSectionCompressor compressor(
        [&](std::span<const std::uint8_t> bytes) { stream.bytes.insert(stream.bytes.end(), bytes.begin(), bytes.end()); },
        threads);
    for (std::size_t at = 0; at < input.size(); at += pieceSize)
        compressor.write(input.subspan(at, std::min(pieceSize, input.size() - at)));
    const auto result = compressor.finish();
    if (result.compressedSize != stream.bytes.size())
        throw std::logic_error("compressed size differs from the bytes handed out");
    stream.uncompressedSize = result.uncompressedSize;
    stream.frameOffsets = result.frameOffsets;
    return stream;
}

void writeLzxHelpFile(const std::filesystem::path& file, const LzxStream& stream)
{
    std::vector<std::uint8_t> section0;
    std::vector<Entry> entries;
    auto add = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        entries.push_back({name, 0, section0.size(), bytes.size()});
        section0.insert(section0.end(), bytes.begin(), bytes.end());
    };
    auto utf16 = [](std::vector<std::uint8_t>& out, const std::string& text) {
        for (const char c : text)
            le16(out, static_cast<std::uint8_t>(c));
    };
    std::vector<std::uint8_t> bytes;
    le16(bytes, 0); // length in 16-bit words, set below
    le16(bytes, 2);
    for (const std::string name : {"Uncompressed", "MSCompressed"}) {
        le16(bytes, static_cast<std::uint32_t>(name.size()));
        utf16(bytes, name);
        le16(bytes, 0);
    }
    bytes[0] = static_cast<std::uint8_t>(bytes.size() / 2);
    add("::DataSpace/NameList", bytes);
    bytes.clear();
    utf16(bytes, kLzxGuid);
    add(kStorage + "Transform/List", bytes);
    bytes.clear();
    le32(bytes, 6);
    bytes.insert(bytes.end(), {'L', 'Z', 'X', 'C'});
    le32(bytes, 2); // sizes in 32 KiB frames
    le32(bytes, 2); // reset interval
    le32(bytes, 2); // window
    le32(bytes, 1);
    le32(bytes, 0);
    add(kStorage + "ControlData", bytes);
    bytes.clear();
    le64(bytes, stream.uncompressedSize);
    add(kStorage + "SpanInfo", bytes);
    bytes.clear();
    le32(bytes, 2);
    le32(bytes, static_cast<std::uint32_t>(stream.frameOffsets.size()));
    le32(bytes, 8);
    le32(bytes, 0x28);
    le64(bytes, stream.uncompressedSize);
    le64(bytes, stream.bytes.size());
    le64(bytes, 0x8000);
    for (const auto offset : stream.frameOffsets)
        le64(bytes, offset);
    add(kStorage + "Transform/" + kLzxGuid + "/InstanceData/ResetTable", bytes);
    add(kStorage + "Content", stream.bytes);
    entries.push_back({"/data", 1, 0, stream.uncompressedSize});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

    constexpr std::uint32_t kChunk = 4096;
    std::vector<std::uint8_t> listing;
    for (const Entry& e : entries) {
        encint(listing, e.name.size());
        listing.insert(listing.end(), e.name.begin(), e.name.end());
        encint(listing, e.section);
        encint(listing, e.offset);
        encint(listing, e.length);
    }
    std::vector<std::uint8_t> chunk;
    chunk.insert(chunk.end(), {'P', 'M', 'G', 'L'});
    le32(chunk, static_cast<std::uint32_t>(kChunk - 0x14 - listing.size())); // free space and quick reference
    le32(chunk, 0);
    le32(chunk, 0xFFFFFFFF);
    le32(chunk, 0xFFFFFFFF);
    chunk.insert(chunk.end(), listing.begin(), listing.end());
    chunk.resize(kChunk - 2, 0);
    le16(chunk, static_cast<std::uint32_t>(entries.size()));

    constexpr std::uint64_t kHeader = 0x60, kSection0Header = 0x18, kDirectoryHeader = 0x54;
    const std::uint64_t contentOffset = kHeader + kSection0Header + kDirectoryHeader + kChunk;
    const std::uint64_t fileSize = contentOffset + section0.size();
    std::vector<std::uint8_t> out;
    out.insert(out.end(), {'I', 'T', 'S', 'F'});
    le32(out, 3);
    le32(out, kHeader);
    le32(out, 1);
    le32(out, 0);
    le32(out, 0x0409);
    guid(out, 0x7C01FD10);
    guid(out, 0x7C01FD11);
    le64(out, kHeader);
    le64(out, kSection0Header);
    le64(out, kHeader + kSection0Header);
    le64(out, kDirectoryHeader + kChunk);
    le64(out, contentOffset);
    le32(out, 0x01FE);
    le32(out, 0);
    le64(out, fileSize);
    le32(out, 0);
    le32(out, 0);
    out.insert(out.end(), {'I', 'T', 'S', 'P'});
    le32(out, 1);
    le32(out, kDirectoryHeader);
    le32(out, 10);
    le32(out, kChunk);
    le32(out, 2);
    le32(out, 1);          // depth: listing chunks only
    le32(out, 0xFFFFFFFF); // no index chunk
    le32(out, 0);          // first listing chunk
    le32(out, 0);          // last listing chunk
    le32(out, 0xFFFFFFFF);
    le32(out, 1); // chunks
    le32(out, 0x0409);
    guid(out, 0x5D02926A);
    le32(out, kDirectoryHeader);
    le32(out, 0xFFFFFFFF);
    le32(out, 0xFFFFFFFF);
    le32(out, 0xFFFFFFFF);
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), section0.begin(), section0.end());

    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!f)
        throw std::runtime_error("cannot write " + file.string());
}

std::optional<std::vector<std::uint8_t>> readWithLibmspack(const std::filesystem::path& file, std::string* error)
{
    mschm_decompressor* chmd = mspack_create_chm_decompressor(nullptr);
    if (!chmd)
        return std::nullopt;
    std::optional<std::vector<std::uint8_t>> result;
    const std::string name = file.string();
    const std::string outName = name + ".mspack-out";
    if (mschmd_header* chm = chmd->open(chmd, name.c_str())) {
        for (mschmd_file* f = chm->files; f; f = f->next) {
            if (std::string(f->filename) != "/data")
                continue;
            const int err = f->length == 0 ? MSPACK_ERR_OK : chmd->extract(chmd, f, outName.c_str());
            if (err == MSPACK_ERR_OK) {
                std::ifstream in(outName, std::ios::binary);
                result.emplace(f->length == 0 ? std::vector<std::uint8_t>{}
                                              : std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
            } else if (error) {
                *error = "libmspack extract error " + std::to_string(err);
            }
        }
        chmd->close(chmd, chm);
    } else if (error) {
        *error = "libmspack open error " + std::to_string(chmd->last_error(chmd));
    }
    std::remove(outName.c_str());
    mspack_destroy_chm_decompressor(chmd);
    return result;
}

std::optional<std::vector<std::uint8_t>> readWithChmlib(const std::filesystem::path& file, std::string* error)
{
    chmFile* chm = chm_open(file.string().c_str());
    if (!chm) {
        if (error)
            *error = "chmlib cannot open the file";
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> result;
    chmUnitInfo unit;
    if (chm_resolve_object(chm, "/data", &unit) == CHM_RESOLVE_SUCCESS) {
        std::vector<std::uint8_t> bytes(unit.length);
        const LONGINT64 got = unit.length == 0 ? 0 : chm_retrieve_object(chm, &unit, bytes.data(), 0, unit.length);
        if (got == static_cast<LONGINT64>(unit.length))
            result = std::move(bytes);
        else if (error)
            *error = "chmlib read " + std::to_string(got) + " of " + std::to_string(unit.length) + " bytes";
    } else if (error) {
        *error = "chmlib cannot find /data";
    }
    chm_close(chm);
    return result;
}

} // namespace quorlix::chm::test
