// The emulated `PlistBuddy`: `-c Print FILE` prints a property list the way the macOS tool does,
// which is what readers of web-app bundles parse.
#include "ToolSupport.h"

#include <QDateTime>
#include <QFileInfo>

namespace pierline::tools {
namespace {

const QString kUsage = QStringLiteral("Usage: PlistBuddy [-cxh] <file.plist>\n"
                                      "    -c \"<command>\" execute command, otherwise run in interactive mode\n"
                                      "    -h print the complete help info, with command guide");

QString indent(int level) {
    return QString(level * 4, QLatin1Char(' '));
}

// One value; containers open on this line and close on their own line at `level`.
void printValue(const QVariant& value, int level, QString& out) {
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        out += QStringLiteral("Dict {\n");
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            out += indent(level + 1) + it.key() + QStringLiteral(" = ");
            printValue(it.value(), level + 1, out);
        }
        out += indent(level) + QStringLiteral("}\n");
        return;
    }
    case QMetaType::QVariantList: {
        out += QStringLiteral("Array {\n");
        for (const QVariant& element : value.toList()) {
            out += indent(level + 1);
            printValue(element, level + 1, out);
        }
        out += indent(level) + QStringLiteral("}\n");
        return;
    }
    case QMetaType::Bool:
        out += value.toBool() ? QStringLiteral("true\n") : QStringLiteral("false\n");
        return;
    case QMetaType::LongLong:
        out += QString::number(value.toLongLong()) + QLatin1Char('\n');
        return;
    case QMetaType::Double:
        out += QString::number(value.toDouble(), 'g', 17) + QLatin1Char('\n');
        return;
    case QMetaType::QDateTime:
        // One fixed form: ISO 8601 in UTC.
        out += value.toDateTime().toUTC().toString(Qt::ISODate) + QLatin1Char('\n');
        return;
    case QMetaType::QByteArray:
        // Data as hexadecimal between angle brackets, so binary bytes never reach the terminal.
        out += QLatin1Char('<') + QString::fromLatin1(value.toByteArray().toHex()) + QStringLiteral(">\n");
        return;
    default:
        out += value.toString() + QLatin1Char('\n');
        return;
    }
}

int run(const QStringList& args) {
    if (args.size() == 1 && args.first() == QLatin1String("-h")) {
        writeOut(kUsage.toUtf8() + '\n');
        return 0;
    }
    // Only "-c Print FILE": the one command the program runs.
    if (args.size() != 3 || args[0] != QLatin1String("-c")) {
        printErr(kUsage);
        return 1;
    }
    const QString command = args[1].trimmed();
    const QString path = args[2];
    if (command != QLatin1String("Print")) {
        printErr(QStringLiteral("Unrecognized Command: %1").arg(command));
        return 1;
    }
    if (!QFileInfo(path).isFile()) {
        printErr(QStringLiteral("File Doesn't Exist: %1").arg(path));
        return 1;
    }
    const DomainContents contents = readDomainFile(path);
    if (!contents.value) {
        printErr(QStringLiteral("Error Reading File: %1 (%2)").arg(path, contents.error));
        return 1;
    }
    QString out;
    printValue(*contents.value, 0, out);
    writeOut(out.toUtf8());
    return 0;
}

} // namespace
} // namespace pierline::tools

int main(int argc, char** argv) {
    return pierline::tools::run(pierline::tools::argumentsOf(argc, argv));
}
