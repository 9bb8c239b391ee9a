#include "SpacerTestSupport.h"

#include "platform/Icns.h"
#include "platform/Plist.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Workspace.h"
#include "spacers/CustomSpaceIconRenderer.h"
#include "spacers/CustomSpaceService.h"
#include "support/CapturingLogSink.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

CustomSpaceGeneratedIconConfig workDesign() {
    CustomSpaceEditorChoices choices;
    choices.text = "WORK";
    return choices.config();
}

QImage workIcon() {
    return renderCustomSpaceIcon(workDesign(), false).image;
}

// A home with the stand-in compiler; no build leaves anything in its temporary folder.
class CustomSpaceServiceTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(entriesBelow(home.file("tmp")).join(", ").toStdString(), "") << "a working folder stayed";
        const QStringList siblings =
            QDir(SystemPaths::customSpacesFolder()).entryList({".tmp-*"}, QDir::AllEntries | QDir::Hidden);
        EXPECT_EQ(siblings.join(", ").toStdString(), "") << "a half-built bundle stayed";
    }
    QString folder() const { return SystemPaths::customSpacesFolder(); }

    TempHome home;
    ScopedEnv compiler{"PIERLINE_CXX", writeStandInCompiler(home).toUtf8()};
    CapturingLogSink logs;
    // Generous: the machine that runs the tests may be busy.
    CustomSpaceService service{60};
};

TEST_F(CustomSpaceServiceTest, ARealBuildMakesABundleWhoseStubRunsAndWhoseIconReadsBack) {
    ScopedEnv real("PIERLINE_CXX", std::nullopt);
    ASSERT_TRUE(QFileInfo(SystemPaths::compilerPath()).isExecutable()) << "clang++ or g++ on PATH";

    const CustomSpaceResult result = service.create("Work Left", CustomSpaceIconMode::Create, workDesign(), workIcon());
    ASSERT_TRUE(result.bundlePath) << result.error->description.toStdString();
    const QString bundle = *result.bundlePath;
    EXPECT_EQ(bundle, folder() + "/Work Left.app");
    EXPECT_EQ(QDir(bundle).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Contents"});
    EXPECT_EQ(entriesBelow(bundle + "/Contents"),
              (QStringList{"Info.plist", "MacOS", "MacOS/stub", "Resources", "Resources/AppIcon.icns",
                           "Resources/PierlineCustomSpaceMetadata.json"}));

    // The template: its keys in order, the identifier with the space kept.
    const QString plist = QString::fromUtf8(readBytes(bundle + "/Contents/Info.plist"));
    EXPECT_TRUE(plist.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC "
                                 "\"-//Apple//DTD PLIST 1.0//EN\""));
    QStringList keys;
    const QRegularExpression keyPattern("<key>([^<]*)</key>");
    for (auto it = keyPattern.globalMatch(plist); it.hasNext();)
        keys.append(it.next().captured(1));
    EXPECT_EQ(keys, (QStringList{"CFBundleExecutable", "CFBundleIdentifier", "CFBundleName", "CFBundleIconFile",
                                 "CFBundlePackageType", "CFBundleInfoDictionaryVersion", "CFBundleVersion",
                                 "LSMinimumSystemVersion", "LSUIElement"}));
    EXPECT_TRUE(plist.contains("\n    <key>CFBundleExecutable</key>\n    <string>stub</string>\n"));
    const QVariantMap info = parsePlist(readBytes(bundle + "/Contents/Info.plist")).value->toMap();
    EXPECT_EQ(info.value("CFBundleIdentifier"), "com.pierline.customspace.work left");
    EXPECT_EQ(info.value("LSUIElement"), true);
    EXPECT_TRUE(Workspace::shared().isApplication(bundle));

    const ProcessResult stub = runProcess(bundle + "/Contents/MacOS/stub", {});
    EXPECT_EQ(stub.exitStatus, 0);
    EXPECT_TRUE(QFileInfo(bundle + "/Contents/MacOS/stub").isExecutable());

    const auto elements = icns::read(readBytes(bundle + "/Contents/Resources/AppIcon.icns"));
    ASSERT_TRUE(elements);
    EXPECT_EQ(elements->size(), 10);
    EXPECT_EQ(icns::pngSize(Workspace::shared().iconData(bundle)), QSize(1024, 1024));

    const QByteArray metadata = readBytes(bundle + "/Contents/Resources/PierlineCustomSpaceMetadata.json");
    const QJsonObject record = QJsonDocument::fromJson(metadata).object();
    EXPECT_EQ(record.keys(), (QStringList{"generatedIconConfig", "iconMode", "name", "schemaVersion"}));
    EXPECT_EQ(record.value("schemaVersion"), 1);
    EXPECT_EQ(record.value("iconMode"), "create");
    EXPECT_EQ(record.value("name"), "Work Left");
    EXPECT_TRUE(metadata.contains("\n    \"iconMode\"")); // indented
    const auto loaded = service.loadEditableConfiguration(bundle);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->generatedIconConfig, workDesign());

    const QList<CustomSpaceInfo> list = service.listCustomSpaces();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].name, "Work Left");
    EXPECT_EQ(list[0].icon, Workspace::shared().iconData(bundle));
}

TEST_F(CustomSpaceServiceTest, HostileNamesRunNothingAndStayWhatTheyAre) {
    // From a working folder of its own, so a payload that ran would leave its file there.
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    const QString names[] = {
        "Bob's & <b>", "x'; touch pwned1; echo '", "$(touch pwned2)", "`touch pwned3`", "a' 'b",
    };
    for (const QString& name : names) {
        const CustomSpaceResult result = service.create(name, CustomSpaceIconMode::Create, workDesign(), workIcon());
        ASSERT_TRUE(result.bundlePath) << name.toStdString() << ": " << result.error->description.toStdString();
        const QString sanitized = CustomSpaceService::sanitize(name);
        EXPECT_EQ(QFileInfo(*result.bundlePath).fileName(), sanitized + ".app");
        const auto parsed = parsePlist(readBytes(*result.bundlePath + "/Contents/Info.plist"));
        ASSERT_TRUE(parsed.value) << name.toStdString();
        EXPECT_EQ(parsed.value->toMap().value("CFBundleIdentifier"), "com.pierline.customspace." + sanitized.toLower());
        EXPECT_EQ(runProcess(*result.bundlePath + "/Contents/MacOS/stub", {}).exitStatus, 0);
    }
    QDir::setCurrent(before);
    EXPECT_EQ(entriesBelow(elsewhere.path()), QStringList());
    for (const QString& entry : entriesBelow(home.path()))
        EXPECT_FALSE(entry.contains("pwned") && !entry.contains("CustomSpaces")) << entry.toStdString();
    EXPECT_EQ(service.listCustomSpaces().size(), 5);
}

TEST_F(CustomSpaceServiceTest, FailuresSayWhyAndLeaveNothing) {
    const QImage icon = workIcon();
    // No compiler.
    {
        ScopedEnv none("PIERLINE_CXX", home.file("no/such/c++").toUtf8());
        const CustomSpaceResult result = service.create("A", CustomSpaceIconMode::Create, workDesign(), icon);
        ASSERT_TRUE(result.error);
        EXPECT_TRUE(result.error->description.startsWith(
            "Failed to compile stub executable. Make sure Xcode Command Line Tools are installed. "));
        EXPECT_TRUE(result.error->description.contains("no/such/c++")) << result.error->description.toStdString();
    }
    // A compiler that fails gives its output.
    {
        ScopedEnv failing("PIERLINE_CXX",
                          writeStandInCompiler(home, "echo 'error: no room' >&2; exit 1\n", "failing-c++").toUtf8());
        const CustomSpaceResult result = service.create("A", CustomSpaceIconMode::Create, workDesign(), icon);
        ASSERT_TRUE(result.error);
        EXPECT_TRUE(result.error->description.endsWith("error: no room\n")) << result.error->description.toStdString();
    }
    // iconutil refusing, from a stand-in tools folder.
    {
        const QString tool = home.write("tools/iconutil", "#!/bin/sh\necho 'icon_16x16.png: not today'\nexit 1\n");
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner);
        ScopedEnv tools("PIERLINE_TOOLS_DIR", home.file("tools").toUtf8());
        const CustomSpaceResult result = service.create("A", CustomSpaceIconMode::Create, workDesign(), icon);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->description,
                  "Failed to generate app icon: iconutil failed: icon_16x16.png: not today\n");
    }
    // A hung compiler under a short limit is abandoned and shows as the missing stub.
    {
        ScopedEnv hung("PIERLINE_CXX", writeStandInCompiler(home, "sleep 3\n", "hung-c++").toUtf8());
        const CustomSpaceService impatient(0.3);
        const CustomSpaceResult result = impatient.create("A", CustomSpaceIconMode::Create, workDesign(), icon);
        ASSERT_TRUE(result.error);
        EXPECT_TRUE(result.error->description.startsWith("Failed to compile stub executable."));
        bool printed = false;
        for (const QString& line : logs.plainLines())
            printed |= line.startsWith("CustomSpaceService: Shell command timed out: echo 'int main(){return 0;}' | ");
        EXPECT_TRUE(printed);
    }
    EXPECT_FALSE(QFileInfo::exists(folder() + "/A.app"));

    // Names: empty once sanitised, taken; paths outside the folder.
    EXPECT_EQ(service.create(" ./. ", CustomSpaceIconMode::Create, workDesign(), icon).error->description,
              "Invalid name: Name cannot be empty after sanitization.");
    ASSERT_TRUE(service.create("Work", CustomSpaceIconMode::Create, workDesign(), icon).bundlePath);
    EXPECT_EQ(service.create("Work.", CustomSpaceIconMode::Create, workDesign(), icon).error->description,
              "A custom space named 'Work' already exists.");
    CustomSpaceEditableConfiguration outside;
    outside.bundlePath = home.makeBundle("Applications", "Work", "com.example.work");
    outside.name = "Other";
    EXPECT_EQ(service.update(outside, icon).error->description, "Invalid custom space path.");
    EXPECT_EQ(service.deleteSpace(outside.bundlePath)->description, "Invalid custom space path.");
    EXPECT_TRUE(QFileInfo::exists(outside.bundlePath));
}

TEST_F(CustomSpaceServiceTest, UpdateRenamesRebuildsInPlaceAndKeepsTheUploadedImage) {
    const QImage icon = workIcon();
    const QString a = *service.create("A", CustomSpaceIconMode::Create, workDesign(), icon).bundlePath;
    ASSERT_TRUE(service.create("Taken", CustomSpaceIconMode::Create, workDesign(), icon).bundlePath);

    auto configuration = service.loadEditableConfiguration(a);
    ASSERT_TRUE(configuration);
    configuration->name = "Taken";
    EXPECT_EQ(service.update(*configuration, icon).error->description, "A custom space named 'Taken' already exists.");

    configuration->name = "B";
    const CustomSpaceResult renamed = service.update(*configuration, icon);
    ASSERT_TRUE(renamed.bundlePath) << renamed.error->description.toStdString();
    EXPECT_EQ(*renamed.bundlePath, folder() + "/B.app");
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_EQ(service.loadEditableConfiguration(*renamed.bundlePath)->name, "B");

    // In place: the same path, the new design.
    configuration = service.loadEditableConfiguration(*renamed.bundlePath);
    configuration->generatedIconConfig->text = "LEFT";
    ASSERT_TRUE(service.update(*configuration, icon).bundlePath);
    EXPECT_EQ(service.loadEditableConfiguration(folder() + "/B.app")->generatedIconConfig->text, "LEFT");
    QStringList names;
    for (const CustomSpaceInfo& info : service.listCustomSpaces())
        names.append(info.name);
    EXPECT_EQ(names, (QStringList{"B", "Taken"}));

    // Upload mode keeps the image it was given, and falls back to the bundle's icon without it.
    QImage upload(40, 20, QImage::Format_ARGB32);
    upload.fill(Qt::red);
    const QString up = *service.create("Up", CustomSpaceIconMode::Upload, std::nullopt, upload, upload).bundlePath;
    configuration = service.loadEditableConfiguration(up);
    ASSERT_TRUE(configuration && configuration->sourceUploadImage);
    EXPECT_EQ(configuration->sourceUploadImage->size(), QSize(40, 20));
    EXPECT_FALSE(configuration->generatedIconConfig);
    ASSERT_TRUE(service.update(*configuration, *configuration->sourceUploadImage).bundlePath);
    EXPECT_EQ(service.loadEditableConfiguration(up)->sourceUploadImage->size(), QSize(40, 20));
    ASSERT_TRUE(QFile::remove(up + "/Contents/Resources/PierlineCustomSpaceSourceIcon.png"));
    EXPECT_EQ(service.loadEditableConfiguration(up)->sourceUploadImage->size(), QSize(1024, 1024));

    // Metadata that does not read gives no configuration.
    home.write("Library/Application Support/Pierline/CustomSpaces/Up.app/Contents/Resources/"
               "PierlineCustomSpaceMetadata.json",
               "{\"name\": 3}");
    EXPECT_FALSE(service.loadEditableConfiguration(up));
}

TEST_F(CustomSpaceServiceTest, DeleteTakesOnlyBundlesOfTheFolderAndDockUrls) {
    const QString work = *service.create("Work Left", CustomSpaceIconMode::Create, workDesign(), workIcon()).bundlePath;
    const QString outsideTarget = home.makeBundle("Applications", "Safari", "com.apple.Safari");
    ASSERT_TRUE(QFile::link(outsideTarget, folder() + "/Link.app"));
    for (const QString& path : {folder() + "/Link.app", outsideTarget, folder(), folder() + "/Missing.app",
                                work + "/Contents", QString("relative/Work Left.app")}) {
        const auto failed = service.deleteSpace(path);
        ASSERT_TRUE(failed) << path.toStdString();
        EXPECT_EQ(failed->description, "Invalid custom space path.");
    }
    EXPECT_TRUE(QFileInfo::exists(outsideTarget + "/Contents/Info.plist"));
    EXPECT_EQ(service.deleteSpaceForDockURL("https://example.com/")->description, "Invalid custom space path.");

    const QString url = QUrl::fromLocalFile(work + "/").toString(QUrl::FullyEncoded);
    EXPECT_EQ(service.customSpaceURL(url), work);
    EXPECT_FALSE(service.deleteSpaceForDockURL(url));
    EXPECT_FALSE(QFileInfo::exists(work));
    QFile::remove(folder() + "/Link.app");
}

} // namespace
} // namespace pierline::test
