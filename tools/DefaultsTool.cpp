// The emulated `defaults`: reads and writes preferences domains under Library/Preferences with
// the subcommands, messages and exit codes of the macOS tool (see tools/README.md).
#include "ToolSupport.h"

#include "platform/AtomicFile.h"
#include "platform/Plist.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariantList>
#include <QVariantMap>
#include <cstdio>

namespace pierline::tools {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 255; // macOS defaults exits with -1 on bad syntax

const char* const kUsage = "Command line interface to a user's defaults.\n"
                           "Syntax:\n"
                           "\n"
                           "'defaults' followed by one of the following:\n"
                           "\n"
                           "  read <domain>                        shows defaults for given domain\n"
                           "  read <domain> <key>                  shows defaults for given domain, key\n"
                           "\n"
                           "  read-type <domain> <key>             shows the type for the given domain, key\n"
                           "\n"
                           "  write <domain> <key> <value>         writes key for domain\n"
                           "\n"
                           "  delete <domain>                      deletes domain\n"
                           "  delete <domain> <key>                deletes key in domain\n"
                           "\n"
                           "  import <domain> <path to plist>      writes the plist at path to domain\n"
                           "  import <domain> -                    writes a plist from stdin to domain\n"
                           "  export <domain> <path to plist>      saves domain as a plist to path\n"
                           "  export <domain> -                    writes domain as a plist to stdout\n"
                           "  domains                              lists all domains\n"
                           "\n"
                           "<domain> is ( <domain_name> | -g | NSGlobalDomain | <absolute path to plist> )\n"
                           "\n"
                           "<value> is one of:\n"
                           "  <value_rep>\n"
                           "  -string <string_value>\n"
                           "  -data <hex_digits>\n"
                           "  -int[eger] <integer_value>\n"
                           "  -float  <floating-point_value>\n"
                           "  -bool[ean] (true | false | yes | no)\n"
                           "  -array <value1> <value2> ...\n"
                           "  -array-add <value1> <value2> ...\n"
                           "  -dict <key1> <value1> <key2> <value2> ...\n"
                           "  -dict-add <key1> <value1> ...\n"
                           "\n"
                           "<value_rep> is a property-list value in XML form, such as '<integer>3</integer>';\n"
                           "any other text is stored as a string.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// --- Text form of values, as `defaults read` prints them -------------------------------------

bool needsQuotes(const QString& text) {
    if (text.isEmpty())
        return true;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool plain =
            (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$';
        if (!plain)
            return true;
    }
    return false;
}

QString quoted(const QString& text) {
    if (!needsQuotes(text))
        return text;
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + QString(c);
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (u < 0x20 || u > 0x7e)
            out += QStringLiteral("\\U%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QString indent(int level) {
    return QString(level * 4, QLatin1Char(' '));
}

QString describe(const QVariant& value, int level, bool topLevel);

QString describeScalar(const QVariant& value, bool topLevel) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::QString:
        return topLevel ? value.toString() : quoted(value.toString());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return QStringLiteral("{length = %1, bytes = 0x%2}").arg(bytes.size()).arg(QString::fromLatin1(bytes.toHex()));
    }
    case QMetaType::QDateTime:
        return value.toDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"));
    default:
        return value.toString(); // integers
    }
}

QString describe(const QVariant& value, int level, bool topLevel) {
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        QString out = QStringLiteral("{\n");
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            out += indent(level + 1) + quoted(it.key()) + QStringLiteral(" = ") +
                   describe(it.value(), level + 1, false) + QStringLiteral(";\n");
        return out + indent(level) + QLatin1Char('}');
    }
    if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        QString out = QStringLiteral("(\n");
        for (qsizetype i = 0; i < list.size(); ++i) {
            out += indent(level + 1) + describe(list[i], level + 1, false);
            out += i + 1 < list.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
        }
        return out + indent(level) + QLatin1Char(')');
    }
    return describeScalar(value, topLevel);
}

QString typeName(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QStringLiteral("boolean");
    case QMetaType::Double:
        return QStringLiteral("float");
    case QMetaType::QString:
        return QStringLiteral("string");
    case QMetaType::QByteArray:
        return QStringLiteral("data");
    case QMetaType::QDateTime:
        return QStringLiteral("date");
    case QMetaType::QVariantMap:
        return QStringLiteral("dictionary");
    case QMetaType::QVariantList:
        return QStringLiteral("array");
    default:
        return QStringLiteral("integer");
    }
}

// --- Values from the command line -----------------------------------------------------------

struct ParsedValue {
    std::optional<QVariant> value;
    QString error; // printed as is
};

// An XML fragment such as "<integer>3</integer>" or "<array>...</array>"; other text is a string.
ParsedValue valueFromRepresentation(const QString& text) {
    if (!text.trimmed().startsWith(QLatin1Char('<')))
        return {QVariant(text), {}};
    const QByteArray document =
        QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">") + text.toUtf8() +
        QByteArrayLiteral("</plist>\n");
    PlistParseResult parsed = parsePlist(document);
    if (!parsed.value)
        return {std::nullopt, QStringLiteral("Could not parse: %1.  Try single-quoting it.").arg(text)};
    return {parsed.value, {}};
}

std::optional<bool> parseBool(const QString& text) {
    const QString t = text.toLower();
    if (t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("no") || t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

ParsedValue typedValue(const QString& flag, const QString& text) {
    const auto bad = [&] {
        return ParsedValue{std::nullopt, QStringLiteral("Could not parse %1 value: %2").arg(flag, text)};
    };
    if (flag == QLatin1String("-string"))
        return {QVariant(text), {}};
    if (flag == QLatin1String("-int") || flag == QLatin1String("-integer")) {
        bool ok = false;
        const qint64 v = text.trimmed().toLongLong(&ok);
        return ok ? ParsedValue{QVariant(v), {}} : bad();
    }
    if (flag == QLatin1String("-float")) {
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok);
        return ok ? ParsedValue{QVariant(v), {}} : bad();
    }
    if (flag == QLatin1String("-bool") || flag == QLatin1String("-boolean")) {
        const auto v = parseBool(text.trimmed());
        return v ? ParsedValue{QVariant(*v), {}} : bad();
    }
    if (flag == QLatin1String("-data")) {
        const QByteArray hex = text.trimmed().toLatin1();
        static const QByteArray digits("0123456789abcdefABCDEF");
        if (hex.size() % 2 != 0)
            return bad();
        for (const char c : hex)
            if (!digits.contains(c))
                return bad();
        return {QVariant(QByteArray::fromHex(hex)), {}};
    }
    return {std::nullopt, QString()}; // not a scalar flag
}

// --- Subcommands ----------------------------------------------------------------------------

std::optional<DomainRef> domainOrComplain(const QString& domain) {
    auto ref = resolveDomain(domain);
    if (!ref)
        printErr(QStringLiteral("Invalid domain name: %1").arg(domain));
    return ref;
}

int readCommand(const QStringList& args, bool typeOnly) {
    if (args.size() < 1 || args.size() > 2 || (typeOnly && args.size() != 2))
        return usage();
    const auto ref = domainOrComplain(args[0]);
    if (!ref)
        return kExitFailed;
    const DomainContents contents = readDomainFile(ref->filePath);
    if (!contents.exists) {
        if (args.size() == 1) {
            printErr(QStringLiteral("\nDomain %1 does not exist").arg(args[0]));
        } else {
            printErr(QStringLiteral("\nThe domain/default pair of (%1, %2) does not exist").arg(args[0], args[1]));
        }
        return kExitFailed;
    }
    if (!contents.value) {
        printErr(QStringLiteral("Could not read domain %1: %2 is not a property list (%3)")
                     .arg(args[0], ref->filePath, contents.error));
        return kExitFailed;
    }
    if (args.size() == 1) {
        writeOut(describe(*contents.value, 0, false).toUtf8() + '\n');
        return 0;
    }
    const QVariantMap map = contents.value->toMap();
    const auto it = map.constFind(args[1]);
    if (contents.value->typeId() != QMetaType::QVariantMap || it == map.cend()) {
        printErr(QStringLiteral("\nThe domain/default pair of (%1, %2) does not exist").arg(args[0], args[1]));
        return kExitFailed;
    }
    if (typeOnly)
        writeOut(QStringLiteral("Type is %1\n").arg(typeName(*it)).toUtf8());
    else
        writeOut(describe(*it, 0, true).toUtf8() + '\n');
    return 0;
}

int writeCommand(const QStringList& args) {
    if (args.size() < 3)
        return usage();
    const auto ref = domainOrComplain(args[0]);
    if (!ref)
        return kExitFailed;
    const QString key = args[1];
    const QString flag = args[2];
    const QStringList rest = args.mid(3);

    std::function<bool(QVariantMap&, QString&)> change;
    if (!flag.startsWith(QLatin1Char('-')) || flag == QLatin1String("-")) {
        if (args.size() != 3)
            return usage();
        const ParsedValue parsed = valueFromRepresentation(flag);
        if (!parsed.value) {
            printErr(parsed.error);
            return kExitFailed;
        }
        change = [key, v = *parsed.value](QVariantMap& values, QString&) {
            values.insert(key, v);
            return true;
        };
    } else if (flag == QLatin1String("-array") || flag == QLatin1String("-array-add")) {
        QVariantList items;
        for (const QString& text : rest) {
            const ParsedValue parsed = valueFromRepresentation(text);
            if (!parsed.value) {
                printErr(parsed.error);
                return kExitFailed;
            }
            items.append(*parsed.value);
        }
        const bool add = flag == QLatin1String("-array-add");
        change = [key, items, add](QVariantMap& values, QString& error) {
            QVariantList list;
            if (add && values.contains(key)) {
                if (values.value(key).typeId() != QMetaType::QVariantList) {
                    error = QStringLiteral("Value for key %1 is not an array").arg(key);
                    return false;
                }
                list = values.value(key).toList();
            }
            list.append(items);
            values.insert(key, list);
            return true;
        };
    } else if (flag == QLatin1String("-dict") || flag == QLatin1String("-dict-add")) {
        if (rest.size() % 2 != 0)
            return usage();
        QVariantMap entries;
        for (qsizetype i = 0; i < rest.size(); i += 2) {
            const ParsedValue parsed = valueFromRepresentation(rest[i + 1]);
            if (!parsed.value) {
                printErr(parsed.error);
                return kExitFailed;
            }
            entries.insert(rest[i], *parsed.value);
        }
        const bool add = flag == QLatin1String("-dict-add");
        change = [key, entries, add](QVariantMap& values, QString& error) {
            QVariantMap dict;
            if (add && values.contains(key)) {
                if (values.value(key).typeId() != QMetaType::QVariantMap) {
                    error = QStringLiteral("Value for key %1 is not a dictionary").arg(key);
                    return false;
                }
                dict = values.value(key).toMap();
            }
            dict.insert(entries);
            values.insert(key, dict);
            return true;
        };
    } else {
        if (rest.size() != 1)
            return usage();
        const ParsedValue parsed = typedValue(flag, rest[0]);
        if (!parsed.value) {
            if (parsed.error.isEmpty()) {
                printErr(QStringLiteral("Unknown value type %1").arg(flag));
                return usage();
            }
            printErr(parsed.error);
            return kExitFailed;
        }
        change = [key, v = *parsed.value](QVariantMap& values, QString&) {
            values.insert(key, v);
            return true;
        };
    }

    QString changeError;
    QString error;
    UserDefaults domain(ref->name);
    const bool ok = domain.update([&](QVariantMap& values) { return change(values, changeError); }, &error);
    if (!changeError.isEmpty()) {
        printErr(changeError);
        return kExitFailed;
    }
    if (!ok) {
        printErr(QStringLiteral("Could not write domain %1: %2").arg(args[0], error));
        return kExitFailed;
    }
    return 0;
}

int deleteCommand(const QStringList& args) {
    if (args.size() < 1 || args.size() > 2)
        return usage();
    const auto ref = domainOrComplain(args[0]);
    if (!ref)
        return kExitFailed;
    if (!QFileInfo::exists(ref->filePath)) {
        printErr(QStringLiteral("\nDomain (%1) not found.\nDefaults have not been changed.").arg(args[0]));
        return kExitFailed;
    }
    if (args.size() == 1) {
        // The plist is only ever replaced by rename, so removing it needs no lock.
        if (!QFile::remove(ref->filePath)) {
            printErr(QStringLiteral("Could not delete domain %1").arg(args[0]));
            return kExitFailed;
        }
        return 0;
    }
    const QString key = args[1];
    bool found = false;
    QString error;
    UserDefaults domain(ref->name);
    const bool ok = domain.update(
        [&](QVariantMap& values) {
            found = values.remove(key) > 0;
            return found;
        },
        &error);
    if (!ok) {
        printErr(QStringLiteral("Could not write domain %1: %2").arg(args[0], error));
        return kExitFailed;
    }
    if (!found) {
        printErr(QStringLiteral("\nThe domain/default pair of (%1, %2) does not exist").arg(args[0], key));
        return kExitFailed;
    }
    return 0;
}

int exportCommand(const QStringList& args) {
    if (args.size() != 2)
        return usage();
    const auto ref = domainOrComplain(args[0]);
    if (!ref)
        return kExitFailed;
    const DomainContents contents = readDomainFile(ref->filePath);
    if (contents.exists && !contents.value) {
        printErr(QStringLiteral("Could not export domain %1: %2 is not a property list (%3)")
                     .arg(args[0], ref->filePath, contents.error));
        return kExitFailed;
    }
    // A domain that does not exist exports as an empty dictionary, as on macOS.
    const QVariant value = contents.value ? *contents.value : QVariant(QVariantMap());
    QString error;
    const auto xml = plistToXml(value, &error);
    if (!xml) {
        printErr(QStringLiteral("Could not export domain %1: %2").arg(args[0], error));
        return kExitFailed;
    }
    if (args[1] == QLatin1String("-")) {
        writeOut(*xml);
        return 0;
    }
    if (const auto failed = replaceFileAtomically(args[1], *xml)) {
        printErr(*failed);
        return kExitFailed;
    }
    return 0;
}

int importCommand(const QStringList& args) {
    if (args.size() != 2)
        return usage();
    const auto ref = domainOrComplain(args[0]);
    if (!ref)
        return kExitFailed;
    const QString source = args[1];
    const bool fromStdin = source == QLatin1String("-");
    QFile file;
    bool opened = false;
    if (fromStdin) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(source);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        printErr(QStringLiteral("Could not import from %1: %2").arg(source, file.errorString()));
        return kExitFailed;
    }
    const QByteArray bytes = file.readAll();
    const PlistParseResult parsed = parsePlist(bytes);
    if (!parsed.value) {
        printErr(QStringLiteral("Could not import from %1: %2")
                     .arg(fromStdin ? QStringLiteral("stdin") : source, parsed.error));
        return kExitFailed;
    }
    if (parsed.value->typeId() != QMetaType::QVariantMap) {
        printErr(QStringLiteral("Could not import from %1: the property list is not a dictionary")
                     .arg(fromStdin ? QStringLiteral("stdin") : source));
        return kExitFailed;
    }
    const QVariantMap incoming = parsed.value->toMap();
    QString error;
    UserDefaults domain(ref->name);
    const bool ok = domain.update(
        [&](QVariantMap& values) {
            values.insert(incoming);
            return true;
        },
        &error);
    if (!ok) {
        printErr(QStringLiteral("Could not import into domain %1: %2").arg(args[0], error));
        return kExitFailed;
    }
    return 0;
}

int domainsCommand(const QStringList& args) {
    if (!args.isEmpty())
        return usage();
    const QString folder = SystemPaths::preferencesFolder();
    QStringList names;
    for (const QFileInfo& info : QDir(folder).entryInfoList({QStringLiteral("*.plist")}, QDir::Files, QDir::Name)) {
        const QString name = info.completeBaseName();
        if (!name.startsWith(QLatin1Char('.')))
            names.append(name);
    }
    writeOut(names.join(QStringLiteral(", ")).toUtf8() + '\n');
    return 0;
}

int run(QStringList args) {
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("read"))
        return readCommand(args, false);
    if (command == QLatin1String("read-type"))
        return readCommand(args, true);
    if (command == QLatin1String("write"))
        return writeCommand(args);
    if (command == QLatin1String("delete"))
        return deleteCommand(args);
    if (command == QLatin1String("export"))
        return exportCommand(args);
    if (command == QLatin1String("import"))
        return importCommand(args);
    if (command == QLatin1String("domains"))
        return domainsCommand(args);
    if (command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return usage();
}

} // namespace
} // namespace pierline::tools

int main(int argc, char** argv) {
    return pierline::tools::run(pierline::tools::argumentsOf(argc, argv));
}
