#pragma once

// A compiled help file opened with chmlib, for looking files up by name.
// Suites that include it link ChmLib::chmlib.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chm_lib.h>

#include <optional>

namespace quorlix::test {

class ChmReader {
public:
    explicit ChmReader(const QString &path) : mFile(chm_open(QFile::encodeName(path).constData())) {}
    ~ChmReader()
    {
        if (mFile)
            chm_close(mFile);
    }
    ChmReader(const ChmReader &) = delete;
    ChmReader &operator=(const ChmReader &) = delete;

    bool isOpen() const { return mFile != nullptr; }

    // The stored bytes of "/" + path, or nothing when it is not there.
    std::optional<QByteArray> lookUp(const QString &path)
    {
        const QByteArray name = "/" + path.toUtf8();
        chmUnitInfo unit{};
        if (chm_resolve_object(mFile, name.constData(), &unit) != CHM_RESOLVE_SUCCESS)
            return std::nullopt;
        QByteArray bytes(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
        const LONGINT64 got = chm_retrieve_object(mFile, &unit, reinterpret_cast<unsigned char *>(bytes.data()), 0,
                                                  static_cast<LONGINT64>(unit.length));
        bytes.truncate(static_cast<qsizetype>(got));
        return bytes;
    }

private:
    chmFile *mFile;
};

} // namespace quorlix::test
