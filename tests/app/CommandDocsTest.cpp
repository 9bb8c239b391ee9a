// The man page and the completions the build installs, read back as a shell and man read them and
// held against the command table.
#include "app/Cli.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

using namespace pierline::cli;

namespace {

QString generated(const char* name) {
    return QStringLiteral(PIERLINE_DOCS_DIR "/") + QLatin1String(name);
}

QString readAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

// What bash's completion offers after `pierline WORDS... CURRENT`.
QStringList bashOffers(const QStringList& words, const QString& current = {}) {
    QStringList quoted;
    for (const QString& word : QStringList{"pierline"} + words + QStringList{current})
        quoted << "'" + word + "'";
    const QString script = QStringLiteral("source '%1'; COMP_WORDS=(%2); COMP_CWORD=%3; _pierline; "
                                          "printf '%s\\n' \"${COMPREPLY[@]}\"")
                               .arg(generated("pierline.bash"), quoted.join(' '))
                               .arg(words.size() + 1);
    QProcess bash;
    bash.start("bash", {"--norc", "--noprofile", "-c", script});
    EXPECT_TRUE(bash.waitForFinished(30000));
    EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
    QStringList offers = QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    offers.sort();
    return offers;
}

QStringList sorted(QStringList list) {
    list.sort();
    list.removeDuplicates();
    return list;
}

QStringList tableNames() {
    QStringList names;
    for (const Command& command : commands())
        names << command.name;
    return names;
}

QStringList subcommandsInOrder(const Command& command) {
    QStringList subs;
    for (const RouteEntry& entry : command.routes) {
        if (!entry.subcommand.isEmpty() && !subs.contains(entry.subcommand))
            subs << entry.subcommand;
    }
    return subs;
}

QStringList subcommandsOf(const Command& command) {
    return sorted(subcommandsInOrder(command));
}

TEST(Completions, BashOffersTheTableCommandsAndEachCommandsSubcommandsAndOptions) {
    EXPECT_EQ(bashOffers({}), sorted(tableNames() << "help"));
    EXPECT_EQ(bashOffers({"help"}), sorted(tableNames()));
    for (const Command& command : commands()) {
        SCOPED_TRACE(command.name.toStdString());
        EXPECT_EQ(bashOffers({command.name}), subcommandsOf(command));
        EXPECT_TRUE(bashOffers({command.name}, "--").contains("--help"));
    }
    EXPECT_EQ(bashOffers({"preset", "create"}, "--f"), QStringList{"--from-dock"});
    EXPECT_EQ(bashOffers({"-v"}, "pre"), sorted({"preset", "presets"})) << "global options are skipped";
}

TEST(Completions, ZshAndFishNameEveryCommandOfTheTable) {
    const QString zsh = readAll(generated("_pierline"));
    const QString fish = readAll(generated("pierline.fish"));
    EXPECT_TRUE(zsh.startsWith("#compdef pierline\n"));
    for (const Command& command : commands()) {
        SCOPED_TRACE(command.name.toStdString());
        EXPECT_TRUE(zsh.contains("        '" + command.name + ":")) << "described";
        EXPECT_TRUE(
            zsh.contains("        " + command.name + ") subs=(" + subcommandsInOrder(command).join(' ') + ");"));
        EXPECT_TRUE(fish.contains(" -f -a " + command.name + " -d "));
    }
    // zsh parses the file it is given.
    QProcess check;
    check.start("zsh", {"-n", generated("_pierline")});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
}

TEST(ManPage, RendersAndHasASectionWithTheHelpOfEveryCommand) {
    QProcess man;
    man.setProcessEnvironment([] {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("MANWIDTH", "200");
        env.insert("LC_ALL", "C"); // ASCII hyphens, whatever the locale
        return env;
    }());
    man.start("man", {"--warnings", "-l", generated("pierline.1.gz")});
    ASSERT_TRUE(man.waitForFinished(60000));
    ASSERT_EQ(man.exitCode(), 0);
    EXPECT_EQ(man.readAllStandardError(), QByteArray()) << "groff warns of nothing";
    const QString page = QString::fromUtf8(man.readAllStandardOutput()).remove(QRegularExpression(".\b"));
    EXPECT_TRUE(page.contains("pierline - save layouts of the Dock")) << page.toStdString();
    for (const Command& command : commands()) {
        SCOPED_TRACE(command.name.toStdString());
        EXPECT_TRUE(page.contains("\n   " + command.name + "\n")) << "a subsection";
        EXPECT_TRUE(page.contains(command.summary));
    }
    EXPECT_TRUE(page.contains("Usage: pierline preset create NAME [--from-dock]"));
}

} // namespace
