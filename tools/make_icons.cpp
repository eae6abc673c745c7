// Writes the program icon at the sizes that desktop icon themes look for, as
// OUT/NxN/apps/parvane.png, from the one small picture the program carries.
// Usage: parvane_make_icons SOURCE.png OUT SIZE...

#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SOURCE.png OUT SIZE...\n", argv[0]);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "%s: not a size: %s\n", argv[0], argv[i]);
            return 2;
        }
        // The picture is pixel art: whole multiples keep its hard edges, other sizes are
        // smoothed rather than given uneven pixels.
        const bool wholeMultiple = size % source.width() == 0;
        const QImage scaled =
            source.scaled(size, size, Qt::KeepAspectRatio,
                          wholeMultiple ? Qt::FastTransformation : Qt::SmoothTransformation);
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (!QDir().mkpath(folder) ||
            !scaled.save(folder + QStringLiteral("/parvane.png"), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
