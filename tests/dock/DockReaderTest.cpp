#include "dock/DockReader.h"
#include "platform/ShellRunner.h"
#include "support/CapturingLogSink.h"
#include "support/DockPlist.h"
#include "support/StandInTools.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <plist/plist.h>

using namespace pierline;
using namespace pierline::test;

namespace {

const QString kSafari = QStringLiteral("file:///Applications/Safari.app/");
const QString kMail = QStringLiteral("file:///Applications/Mail.app/");
const QString kUnexpected = QStringLiteral("Dock preferences did not contain the expected plist structure");

// The binary form of a value, through the XML form.
QByteArray binaryPlist(const QVariant& value) {
    const QByteArray xml = xmlPlist(value);
    plist_t node = nullptr;
    plist_from_xml(xml.constData(), static_cast<uint32_t>(xml.size()), &node);
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &bin, &length);
    QByteArray out(bin, static_cast<qsizetype>(length));
    plist_to_bin_free(bin);
    plist_free(node);
    return out;
}

DockReadError readError() {
    auto reading = DockReader::readDock();
    EXPECT_TRUE(std::holds_alternative<DockReadError>(reading));
    if (auto* error = std::get_if<DockReadError>(&reading))
        return *error;
    return {};
}

DockReading reading() {
    auto result = DockReader::readDock();
    if (auto* error = std::get_if<DockReadError>(&result)) {
        ADD_FAILURE() << error->description().toStdString();
        return {};
    }
    return std::get<DockReading>(result);
}

class DockReaderTest : public ::testing::Test {
protected:
    TempHome home_;
    CapturingLogSink log_;
};

} // namespace

// ---- Through the emulated `defaults` tool (every tile kind read through it: DockCommand) ----

TEST_F(DockReaderTest, DomainOfTheWrongShapeOrUnreadable) {
    // No domain yet: an empty dictionary, so an empty Dock rather than an error.
    auto empty = DockReader::readDock();
    ASSERT_TRUE(std::holds_alternative<DockReading>(empty));
    EXPECT_TRUE(std::get<DockReading>(empty).apps.isEmpty());

    for (const QVariant& topLevel : {QVariant(QVariantList{appTile(kSafari)}), QVariant("persistent-apps")}) {
        writeDockDomain(home_, xmlPlist(topLevel));
        const DockReadError error = readError();
        EXPECT_EQ(error.kind, DockReadError::Kind::UnexpectedFormat);
        EXPECT_EQ(error.description(), kUnexpected);
    }
}

// ---- Outputs the emulated tool never gives, through a stand-in ----

TEST_F(DockReaderTest, RunsDefaultsExportOfTheDockDomainAndReadsBinaryOutput) {
    home_.write("dock.bin", binaryPlist(domain({spacerTile(), appTile(kMail)}, {})));
    StandInTools tools("defaults",
                       "printf '%s|' \"$@\" > \"$PIERLINE_HOME/args.txt\"\ncat \"$PIERLINE_HOME/dock.bin\"");
    EXPECT_EQ(reading().apps, (QStringList{"pierline-spacer-1", kMail}));
    EXPECT_EQ(readFile(home_.file("args.txt")), "export|com.apple.dock|-|");
}

TEST_F(DockReaderTest, FailureMessagePrefersStandardError) {
    struct Case {
        QByteArray script;
        QString description;
    } cases[] = {
        {"echo 'out text'; echo '  Domain com.apple.dock does not exist  ' >&2; exit 1",
         "Command failed: Domain com.apple.dock does not exist"},
        {"printf '\\n  message on stdout only \\n'; exit 1", "Command failed: message on stdout only"},
        {"echo 'from stdout'; printf ' \\n\\t' >&2; exit 1", "Command failed: from stdout"},
        {"echo 'from stdout'; printf 'bad \\377 bytes' >&2; exit 4", "Command failed: from stdout"},
        {"printf 'bad \\377' ; exit 1", "Command failed: "},
        {"kill -9 $$", QString()}, // a crash is a failure too; its wording is the runner's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script.constData());
        StandInTools tools("defaults", c.script);
        const DockReadError error = readError();
        EXPECT_EQ(error.kind, DockReadError::Kind::CommandFailed);
        if (!c.description.isNull()) {
            EXPECT_EQ(error.description(), c.description);
        }
    }

    StandInTools missing; // no defaults at all
    const DockReadError error = readError();
    EXPECT_EQ(error.kind, DockReadError::Kind::CommandFailed);
    EXPECT_TRUE(error.description().startsWith("Command failed: Failed to launch " + missing.path() + "/defaults: "))
        << error.description().toStdString();
}

// A hung `defaults` is a read error once the child-process time limit runs out, not a hung caller.
TEST_F(DockReaderTest, AHungDefaultsIsAReadErrorAfterTheTimeLimit) {
    const QString release = home_.file("release");
    // Hangs until the test lets it go (or ten seconds pass, so a failing run still ends).
    StandInTools tools("defaults", "i=0; while [ ! -e '" + release.toUtf8() +
                                       "' ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done; exit 0");
    ShellRunner::shared().setTimeLimit(0.3);
    QElapsedTimer timer;
    timer.start();
    const DockReadError error = readError();
    const qint64 waitedMs = timer.elapsed();
    ShellRunner::shared().setTimeLimit(ShellRunner::kDefaultTimeLimit);
    home_.write("release", {});

    EXPECT_LT(waitedMs, 3000);
    EXPECT_EQ(error.kind, DockReadError::Kind::CommandFailed);
    EXPECT_EQ(error.description(),
              QStringLiteral("Command failed: %1/defaults did not finish within 0.3 seconds").arg(tools.path()));
}

// The plist library aborts when asked for text with a NUL in it; such output must fail to parse too.
TEST_F(DockReaderTest, OutputThatIsNotAPropertyListFailsToParse) {
    const QByteArray outputs[] = {
        "this is not a plist\n",
        "",
        "<?xml version=\"1.0\"?><plist><dict><key>a</key>",
        "bplist00\001\002",
        // {"a\0b": "x"}, the key in UTF-16
        QByteArray::fromHex("62706c6973743030d10102630061000000625178080b1200000000000001010000000000000003"
                            "00000000000000000000000000000014"),
        // {"k": "a\0b"}, the value in UTF-16
        QByteArray::fromHex("62706c6973743030d10102516b63006100000062080b0d00000000000001010000000000000003"
                            "00000000000000000000000000000014"),
        QByteArray(
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a\0b</key><string>x</string></dict></plist>", 95),
    };
    for (const QByteArray& bytes : outputs) {
        SCOPED_TRACE(bytes.toHex().constData());
        home_.write("out.plist", bytes);
        StandInTools tools("defaults", "cat \"$PIERLINE_HOME/out.plist\"");
        const DockReadError error = readError();
        EXPECT_EQ(error.kind, DockReadError::Kind::ParseFailed);
        EXPECT_TRUE(error.description().startsWith("Parse failed: "));
        EXPECT_GT(error.description().size(), QStringLiteral("Parse failed: ").size());
    }
}

TEST_F(DockReaderTest, ListGettersWarnAndGiveNothingOnFailure) {
    StandInTools tools("defaults", "echo 'no dock' >&2; exit 1");
    EXPECT_TRUE(DockReader::getDockApps().isEmpty());
    EXPECT_TRUE(DockReader::getDockItems().isEmpty());
    EXPECT_EQ(log_.warningLines(), (QStringList{"Warning: getDockApps failed. Command failed: no dock",
                                                "Warning: getDockItems failed. Command failed: no dock"}));
}
