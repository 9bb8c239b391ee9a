// The emulated `iconutil`: turns an .iconset folder of PNG images into an ICNS file. Only the
// conversion to icns is known; the images are checked against their names and stored unchanged.
#include "ToolSupport.h"

#include "platform/AtomicFile.h"
#include "platform/Icns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pierline::tools {
namespace {

const QString kUsage = QStringLiteral("Usage: iconutil --convert icns [--output file] file.iconset");

int usage() {
    printErr(kUsage);
    return 1;
}

int convert(const QString& folder, QString output) {
    if (output.isEmpty()) {
        output = folder;
        while (output.endsWith(QLatin1Char('/')))
            output.chop(1);
        if (output.endsWith(QLatin1String(".iconset")))
            output.chop(8);
        output += QStringLiteral(".icns");
    }
    if (!QFileInfo(folder).isDir()) {
        printErr(QStringLiteral("%1: No such icon set folder.").arg(folder));
        return 1;
    }
    const QDir iconset(folder);
    QList<icns::Element> elements;
    for (const icns::IconsetImage& image : icns::iconsetImages()) {
        const QString path = iconset.filePath(image.fileName);
        if (!QFileInfo(path).isFile())
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            printErr(QStringLiteral("%1: %2").arg(path, file.errorString()));
            return 1;
        }
        const QByteArray png = file.readAll();
        const auto size = icns::pngSize(png);
        if (!size) {
            printErr(QStringLiteral("%1: Not a PNG image.").arg(path));
            return 1;
        }
        if (size->width() != image.pixels || size->height() != image.pixels) {
            printErr(QStringLiteral("%1: Image is %2x%3 pixels; its name asks for %4x%4.")
                         .arg(path)
                         .arg(size->width())
                         .arg(size->height())
                         .arg(image.pixels));
            return 1;
        }
        elements.append({image.type, png});
    }
    if (elements.isEmpty()) {
        printErr(QStringLiteral("%1: Invalid Iconset.").arg(folder));
        return 1;
    }
    if (const auto failed = replaceFileAtomically(output, icns::write(elements))) {
        printErr(*failed);
        return 1;
    }
    return 0;
}

int run(const QStringList& args) {
    QString type;
    QString output;
    QString folder;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool takesValue = arg == QLatin1String("--convert") || arg == QLatin1String("-c") ||
                                arg == QLatin1String("--output") || arg == QLatin1String("-o");
        if (takesValue) {
            if (i + 1 >= args.size())
                return usage();
            const QString& value = args[++i];
            if (arg == QLatin1String("--convert") || arg == QLatin1String("-c"))
                type = value;
            else
                output = value;
        } else if (arg.startsWith(QLatin1Char('-')) || !folder.isEmpty()) {
            return usage();
        } else {
            folder = arg;
        }
    }
    if (type != QLatin1String("icns") || folder.isEmpty())
        return usage();
    return convert(folder, output);
}

} // namespace
} // namespace pierline::tools

int main(int argc, char** argv) {
    return pierline::tools::run(pierline::tools::argumentsOf(argc, argv));
}
