// Turns the window's 32 x 32 pixel-art icon into the desktop's icon theme
// files: PNGs enlarged pixel by pixel, so they stay crisp, and an SVG with
// one square per pixel.
//
//   quorlix_export_icons ICON.xpm OUTDIR NAME SIZE...
//
// writes OUTDIR/<SIZE>x<SIZE>/apps/NAME.png for every SIZE and
// OUTDIR/scalable/apps/NAME.svg.

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTextStream>

#include <cstdio>

namespace {

bool fail(const QString &what)
{
    std::fprintf(stderr, "quorlix_export_icons: %s\n", qPrintable(what));
    return false;
}

bool writePng(const QImage &art, const QString &path, int size)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return fail(QStringLiteral("cannot make the folder for ") + path);
    const QImage scaled = art.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!scaled.save(path, "PNG"))
        return fail(QStringLiteral("cannot write ") + path);
    return true;
}

// One rectangle per run of equal pixels along a row keeps the file small.
bool writeSvg(const QImage &art, const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return fail(QStringLiteral("cannot make the folder for ") + path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return fail(QStringLiteral("cannot write ") + path);
    QTextStream out(&file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << art.width() << "\" height=\""
        << art.height() << "\" viewBox=\"0 0 " << art.width() << ' ' << art.height()
        << "\" shape-rendering=\"crispEdges\">\n";
    for (int y = 0; y < art.height(); ++y) {
        int x = 0;
        while (x < art.width()) {
            const QRgb colour = art.pixel(x, y);
            int end = x + 1;
            while (end < art.width() && art.pixel(end, y) == colour)
                ++end;
            if (qAlpha(colour) != 0) {
                out << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << end - x
                    << "\" height=\"1\" fill=\""
                    << QColor(colour).name(QColor::HexRgb) << "\"/>\n";
            }
            x = end;
        }
    }
    out << "</svg>\n";
    out.flush();
    if (file.error() != QFile::NoError)
        return fail(QStringLiteral("cannot write ") + path);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: quorlix_export_icons ICON.xpm OUTDIR NAME SIZE...\n");
        return 2;
    }
    const QImage art = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    if (art.isNull()) {
        fail(QStringLiteral("cannot read ") + QString::fromLocal8Bit(argv[1]));
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);

    for (int i = 4; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size <= 0) {
            fail(QStringLiteral("not a size: ") + QString::fromLocal8Bit(argv[i]));
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps/").arg(outDir).arg(size);
        if (!writePng(art, folder + name + QStringLiteral(".png"), size))
            return 1;
    }
    return writeSvg(art, outDir + QStringLiteral("/scalable/apps/") + name + QStringLiteral(".svg")) ? 0 : 1;
}
