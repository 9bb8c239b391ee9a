// Arbitrary bytes as a desktop file (a dock's app, an installed app), as the Exec words Pierline
// writes into its own launchers, and as a process's stat line.
#include "platform/DesktopApps.h"
#include "platform/DesktopEntry.h"
#include "platform/linux/ProcessTable.h"

#include <QFileInfo>

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    bool hasGroup = false;
    const DesktopEntry entry = DesktopEntry::parse(bytes, &hasGroup);
    (void)entry.localised(QStringLiteral("Name"));
    (void)entry.value(QStringLiteral("StartupWMClass"));
    QString error;
    if (const auto exec = entry.value(QStringLiteral("Exec"))) {
        if (!parseDesktopCommand(*exec, {}, {}, &error) && error.isEmpty())
            std::abort(); // a refusal always says why
    }

    // What we write must read back as written: a value, and the words of an Exec line.
    const QString text = QString::fromUtf8(bytes);
    if (unescapeDesktopValue(escapeDesktopValue(text)) != text)
        std::abort();
    const QStringList words = text.split(QChar(u'\0'));
    if (!words.first().isEmpty() && QFileInfo(words.first()).fileName() != QLatin1String("env")) {
        QStringList quoted;
        for (const QString& word : words)
            quoted << desktopExecArgument(word);
        const auto command = parseDesktopCommand(quoted.join(QLatin1Char(' ')), {}, {}, &error);
        if (!command || command->program != words.first() || command->arguments != words.mid(1))
            std::abort();
    }

    (void)parseProcStat(bytes);
    return 0;
}
