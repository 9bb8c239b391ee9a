#include "spacers/CustomSpaceIconDesign.h"
#include "spacers/CustomSpaceNames.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

TEST(IconDesign, EditorDefaultsAndPresetsGiveTheStoredNumbers) {
    const CustomSpaceGeneratedIconConfig defaults = CustomSpaceEditorChoices().config();
    EXPECT_EQ(defaults.backgroundColor, (CustomSpaceCodableColor{0, 0.478, 1, 1}));
    EXPECT_EQ(defaults.textColor, (CustomSpaceCodableColor{1, 1, 1, 1}));
    EXPECT_EQ(defaults.orientation, IconTextOrientation::Vertical);
    EXPECT_EQ(defaults.alignment, IconTextAlignment::Center);
    EXPECT_EQ(defaults.padding, 0.1);
    EXPECT_FALSE(defaults.fontSize);
    EXPECT_FALSE(defaults.textBorderWidth);
    EXPECT_FALSE(defaults.textBorderColor); // black in the editor, stored only with a border
    EXPECT_FALSE(defaults.iconBorderWidth);
    EXPECT_FALSE(defaults.iconBorderColor);
    EXPECT_FALSE(defaults.tahoeAware);
    EXPECT_EQ(defaults.isBackgroundGlass, false);

    CustomSpaceEditorChoices choices;
    choices.padding = IconPaddingPreset::Large;
    choices.textSize = TextSizePreset::Small;
    choices.textBorder = TextBorderPreset::Bold;
    choices.iconBorder = IconBorderPreset::Thin;
    choices.iconBorderColor = {1, 0, 0, 1};
    const CustomSpaceGeneratedIconConfig chosen = choices.config();
    EXPECT_EQ(chosen.padding, 0.2);
    EXPECT_EQ(chosen.fontSize, 80);
    EXPECT_EQ(chosen.textBorderWidth, 10);
    EXPECT_EQ(chosen.textBorderColor, (CustomSpaceCodableColor{0, 0, 0, 1}));
    EXPECT_EQ(chosen.iconBorderWidth, 8);
    EXPECT_EQ(chosen.iconBorderColor, (CustomSpaceCodableColor{1, 0, 0, 1}));
    EXPECT_EQ(fontSizeValue(TextSizePreset::Large), 250);
    EXPECT_EQ(iconBorderWidthValue(IconBorderPreset::Bold), 20);
    EXPECT_EQ(textBorderWidthValue(TextBorderPreset::Thin), 3);
    EXPECT_EQ(presetLabel(IconPaddingPreset::Standard), "Standard");
    EXPECT_EQ(presetLabel(TextSizePreset::Auto), "Auto");
}

TEST(IconDesign, RecordsRoundTripAndBadOnesNameTheKey) {
    CustomSpaceEditorChoices choices;
    choices.text = "WORK\nLEFT";
    choices.textBorder = TextBorderPreset::Thin;
    CustomSpaceGeneratedIconConfig config = choices.config();
    config.tahoeAware = true;
    const QJsonObject json = toJson(config);
    EXPECT_EQ(json.value("orientation"), "vertical");
    EXPECT_EQ(json.value("backgroundColor").toObject().value("alpha"), 1.0);
    EXPECT_FALSE(json.contains("fontSize"));
    EXPECT_FALSE(json.contains("iconBorderColor"));
    const auto back = iconConfigFromJson(json);
    ASSERT_TRUE(back.config) << back.error.toStdString();
    EXPECT_EQ(*back.config, config);

    const auto without = [&](const char* key) {
        QJsonObject o = json;
        o.remove(key);
        return o;
    };
    const auto with = [&](const char* key, const QJsonValue& value) {
        QJsonObject o = json;
        o.insert(key, value);
        return o;
    };
    QJsonObject badColor = json;
    badColor.insert("textColor", QJsonObject{{"red", 1}, {"green", 1}, {"blue", 1.5}, {"alpha", 1}});
    QJsonObject noAlpha = json;
    noAlpha.insert("textColor", QJsonObject{{"red", 1}, {"green", 1}, {"blue", 1}});
    const std::pair<QJsonObject, const char*> cases[] = {
        {without("text"), "text"},
        {without("isMirrored"), "isMirrored"},
        {with("isMirrored", "yes"), "isMirrored"},
        {with("orientation", "diagonal"), "orientation"},
        {with("alignment", "left"), "alignment"},
        {with("padding", "0.1"), "padding"},
        {with("padding", 0.7), "padding"},
        {with("fontSize", -4), "fontSize"},
        {with("iconBorderColor", 3), "iconBorderColor"},
        {badColor, "textColor.blue"},
        {noAlpha, "textColor.alpha"},
    };
    for (const auto& [object, key] : cases) {
        const auto decoded = iconConfigFromJson(object);
        EXPECT_FALSE(decoded.config) << key;
        EXPECT_TRUE(decoded.error.contains(key)) << key << ": " << decoded.error.toStdString();
    }
    // Only the first seven keys are required.
    QJsonObject minimal = json;
    for (const char* key : {"padding", "textBorderWidth", "textBorderColor", "tahoeAware", "isBackgroundGlass"})
        minimal.remove(key);
    EXPECT_TRUE(iconConfigFromJson(minimal).config);
    EXPECT_FALSE(iconConfigFromJsonBytes("{\"text\": ").config);
    EXPECT_FALSE(iconConfigFromJsonBytes("[]").config);
}

TEST(IconDesign, NamesAreSanitisedAndCheckedInTheEditorsOrder) {
    EXPECT_EQ(sanitizeCustomSpaceName("My/Spacer."), "MySpacer");
    EXPECT_EQ(sanitizeCustomSpaceName(" \t. . \t"), "");
    EXPECT_EQ(sanitizeCustomSpaceName("\tBob's & $x `y` \t"), "Bob's & $x `y`");
    EXPECT_EQ(sanitizeCustomSpaceName("a\\b:c*d?e\"f<g>h|i"), "abcdefghi");

    EXPECT_EQ(customSpaceNameProblem("  \t"), "Name cannot be empty.");
    EXPECT_EQ(customSpaceNameProblem("Work."), "Name contains invalid characters.");
    EXPECT_EQ(customSpaceNameProblem("Work"), std::nullopt);
    EXPECT_TRUE(unusableNameText("a\nb"));
    EXPECT_TRUE(unusableNameText(QString("a") + QChar::ReplacementCharacter));
    EXPECT_FALSE(unusableNameText("\tWork Left\t"));
    EXPECT_TRUE(unusableNameText("Work\tLeft"));
}

} // namespace
} // namespace pierline::test
