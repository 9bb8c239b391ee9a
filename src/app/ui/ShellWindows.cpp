#include "ShellWindows.h"
#include "ThemePalette.h"

#include "app/MenuBarManager.h"
#include "core/QuayshareImportClient.h"
#include "core/SettingDescriptors.h"
#include "exchange/ImportWizard.h"
#include "platform/AlertPresenter.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "switching/AppSettings.h"
#include "switching/LastContextWindowManager.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

namespace pierline {
namespace {

const QString kFrameKeyPrefix = QStringLiteral("NSWindow Frame ");

// "x y w h" of the window and of its screen's available area, as the frames are kept.
QString frameText(const QRect& frame, const QRect& screen) {
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(frame.x())
        .arg(frame.y())
        .arg(frame.width())
        .arg(frame.height())
        .arg(screen.x())
        .arg(screen.y())
        .arg(screen.width())
        .arg(screen.height());
}

std::optional<QRect> frameFromText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() < 4)
        return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (values[2] <= 0 || values[3] <= 0)
        return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

// Re-runs `refresh` whenever the presets or the shortcuts change, while `owner` lives.
void observePresets(QObject* owner, std::function<void()> refresh) {
    auto tokens = std::make_shared<std::vector<ObserverToken>>();
    QPointer<QObject> guard(owner);
    for (const QString& name :
         {kContextDidSaveNotification, kPresetsDidChangeNotification, kShortcutsDidChangeNotification}) {
        tokens->push_back(
            NotificationCenter::shared().addObserver(name, Delivery::MainQueue, [guard, refresh](const Notification&) {
                if (guard)
                    refresh();
            }));
    }
    QObject::connect(owner, &QObject::destroyed, [tokens] {
        for (ObserverToken token : *tokens)
            NotificationCenter::shared().removeObserver(token);
    });
}

// The presets in list order, each with its shortcut, and Apply.
class MainWindow : public ShellWindow {
public:
    explicit MainWindow(std::function<void()> closed)
        : ShellWindow(kMainWindowName, QStringLiteral("MainAppWindow"), QSize(800, 600), std::move(closed)) {
        auto* layout = new QVBoxLayout(this);
        auto* title = new QLabel(QStringLiteral("Presets"), this);
        QFont font = title->font();
        font.setBold(true);
        title->setFont(font);
        list_ = new QListWidget(this);
        list_->setObjectName(QStringLiteral("presetList"));
        apply_ = new QPushButton(QStringLiteral("Apply"), this);
        apply_->setObjectName(QStringLiteral("apply"));
        apply_->setDefault(true);
        layout->addWidget(title);
        layout->addWidget(list_, 1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(apply_);
        layout->addLayout(buttons);
        connect(apply_, &QPushButton::clicked, this, [this] { applySelected(); });
        connect(list_, &QListWidget::itemActivated, this, [this] { applySelected(); });
        connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { apply_->setEnabled(row >= 0); });
        observePresets(this, [this] { reload(); });
        reload();
    }

private:
    void reload() {
        const QString selected = list_->currentItem() ? list_->currentItem()->data(Qt::UserRole).toString() : QString();
        list_->clear();
        MenuBarManager* menuBar = MenuBarManager::current();
        if (!menuBar)
            return;
        // The same items as the menus: list order, shortcut text, nameless presets named.
        for (const MenuEntry& entry : menuBar->buildStatusMenu()) {
            if (entry.presetId.isEmpty())
                continue;
            auto* row = new QListWidgetItem(entry.plainTitle(), list_);
            row->setData(Qt::UserRole, entry.presetId);
            if (entry.presetId == selected)
                list_->setCurrentItem(row);
        }
        if (!list_->currentItem() && list_->count() > 0)
            list_->setCurrentRow(0);
        apply_->setEnabled(list_->currentItem() != nullptr);
    }

    void applySelected() {
        MenuBarManager* menuBar = MenuBarManager::current();
        DockPresetManager* presets = DockPresetManager::existing();
        if (!menuBar || !presets || !list_->currentItem())
            return;
        const QUuid id(list_->currentItem()->data(Qt::UserRole).toString());
        if (const DockPresetPtr preset = presets->fetchPreset(id))
            menuBar->applyPresetFromMenu(preset);
    }

    QListWidget* list_ = nullptr;
    QPushButton* apply_ = nullptr;
};

// One row per setting: check boxes, sliders over their ranges, choices, text; then the saved
// Last Context notes with Edit.
class SettingsWindow : public ShellWindow {
public:
    explicit SettingsWindow(std::function<void()> closed)
        : ShellWindow(kSettingsWindowName, QStringLiteral("SettingsWindow"), QSize(850, 850), std::move(closed)) {
        setMinimumSize(850, 850);
        auto* outer = new QVBoxLayout(this);
        auto* scroll = new QScrollArea(this);
        scroll->setWidgetResizable(true);
        auto* page = new QWidget(scroll);
        auto* form = new QFormLayout(page);
        for (const SettingDescriptor& descriptor : settingDescriptors())
            addRow(form, descriptor);
        contexts_ = new QListWidget(page);
        contexts_->setObjectName(QStringLiteral("savedContextList"));
        auto* edit = new QPushButton(QStringLiteral("Edit"), page);
        connect(edit, &QPushButton::clicked, this, [this] { editSelectedContext(); });
        connect(contexts_, &QListWidget::itemActivated, this, [this] { editSelectedContext(); });
        form->addRow(new QLabel(QStringLiteral("Saved Context"), page));
        form->addRow(contexts_);
        form->addRow(QString(), edit);
        scroll->setWidget(page);
        outer->addWidget(scroll);
        observePresets(this, [this] { reloadContexts(); });
        reloadContexts();
    }

private:
    static void store(const QString& key, const QVariant& value) {
        try {
            if (!AppSettings::shared().setValue(key, value))
                printWarning(QStringLiteral("Could not set %1").arg(key));
        } catch (const UserDefaultsError& error) {
            AlertPresenter::shared().runMessage(
                {QStringLiteral("Could not save the setting"), error.message(), {QStringLiteral("OK")}});
        }
    }

    void addRow(QFormLayout* form, const SettingDescriptor& d) {
        const QVariant current = AppSettings::shared().value(d.key);
        const QString key = d.key;
        if (d.type == SettingType::Bool) {
            auto* box = new QCheckBox(form->parentWidget());
            box->setObjectName(key);
            box->setChecked(current.toBool());
            connect(box, &QCheckBox::toggled, this, [key](bool on) { store(key, on); });
            form->addRow(key, box);
        } else if (d.type == SettingType::Double && d.hasRange()) {
            // Slider steps: 0.5 s for the scope timeout, 0.1 s for the multi-press window.
            const double step = d.key == QLatin1String("scopeTimeoutSeconds") ? 0.5 : 0.1;
            auto* row = new QWidget(form->parentWidget());
            auto* layout = new QHBoxLayout(row);
            layout->setContentsMargins(0, 0, 0, 0);
            auto* slider = new QSlider(Qt::Horizontal, row);
            slider->setObjectName(key);
            slider->setRange(0, static_cast<int>(std::lround((d.maximum - d.minimum) / step)));
            slider->setValue(static_cast<int>(std::lround((current.toDouble() - d.minimum) / step)));
            auto* shown = new QLabel(row);
            const double minimum = d.minimum;
            const bool milliseconds = d.key == QLatin1String("multiPressWindowMs");
            auto label = [shown, minimum, step, milliseconds](int position) {
                const double value = minimum + position * step;
                shown->setText(milliseconds ? QStringLiteral("%1ms").arg(std::lround(value * 1000))
                                            : QStringLiteral("%1s").arg(value, 0, 'f', 1));
            };
            label(slider->value());
            connect(slider, &QSlider::valueChanged, this, [key, minimum, step, label](int position) {
                label(position);
                store(key, minimum + position * step);
            });
            layout->addWidget(slider, 1);
            layout->addWidget(shown);
            form->addRow(key, row);
        } else if (d.type == SettingType::String && choicesOf(d.key).size() > 0) {
            auto* combo = new QComboBox(form->parentWidget());
            combo->setObjectName(key);
            combo->addItems(choicesOf(d.key));
            combo->setCurrentText(current.toString());
            connect(combo, &QComboBox::currentTextChanged, this, [key](const QString& text) { store(key, text); });
            form->addRow(key, combo);
        } else if (d.type == SettingType::String || d.type == SettingType::Double) {
            auto* line = new QLineEdit(current.toString(), form->parentWidget());
            line->setObjectName(key);
            const bool number = d.type == SettingType::Double;
            connect(line, &QLineEdit::editingFinished, this, [key, line, number] {
                if (!number) {
                    store(key, line->text());
                    return;
                }
                bool ok = false;
                const double value = line->text().toDouble(&ok);
                if (ok)
                    store(key, value);
                else
                    line->setText(AppSettings::shared().value(key).toString());
            });
            form->addRow(key, line);
        } else {
            form->addRow(key, new QLabel(current.toStringList().join(QStringLiteral(", ")), form->parentWidget()));
        }
    }

    static QStringList choicesOf(const QString& key) {
        if (key == QLatin1String("menuBarLogo"))
            return {QStringLiteral("logo-no-bg"), QStringLiteral("dark-logo"), QStringLiteral("white-logo"),
                    QStringLiteral("simple-black"), QStringLiteral("simple-white")};
        if (key == QLatin1String("appMode"))
            return {QStringLiteral("menuBarOnly"), QStringLiteral("dockAppOnly"), QStringLiteral("withDockIcon")};
        return {};
    }

    void reloadContexts() {
        contexts_->clear();
        DockPresetManager* presets = DockPresetManager::existing();
        if (!presets)
            return;
        for (const DockPresetPtr& preset : presets->fetchAllPresets()) {
            const QString status = preset->lastContextStatus().value_or(QString());
            if (status.isEmpty() || !preset->id())
                continue;
            auto* row = new QListWidgetItem(
                QStringLiteral("%1: %2").arg(preset->name().value_or(QStringLiteral("Unnamed Preset")), status),
                contexts_);
            row->setData(Qt::UserRole, uuidText(*preset->id()));
        }
    }

    void editSelectedContext() {
        LastContextWindowManager* lastContext = LastContextWindowManager::shared();
        DockPresetManager* presets = DockPresetManager::existing();
        if (!lastContext || !presets || !contexts_->currentItem())
            return;
        if (const DockPresetPtr preset =
                presets->fetchPreset(QUuid(contexts_->currentItem()->data(Qt::UserRole).toString())))
            lastContext->showEditor(preset);
    }

    QListWidget* contexts_ = nullptr;
};

// The backup import in three steps: a file or a link, the presets with what is missing, the
// summary; the wizard model does the work.
class ImportWizardWindow : public ShellWindow {
public:
    ImportWizardWindow(const QString& link, std::function<void()> closed)
        : ShellWindow(kImportWizardWindowName, QString(), QSize(700, 600), std::move(closed)) {
        auto* layout = new QVBoxLayout(this);
        steps_ = new QStackedWidget(this);
        steps_->setObjectName(QStringLiteral("importSteps"));
        layout->addWidget(steps_, 1);
        error_ = new QLabel(this);
        error_->setWordWrap(true);
        error_->setObjectName(QStringLiteral("importError"));
        layout->addWidget(error_);
        layout->addWidget(new QLabel(ImportWizard::kFooter, this));

        auto* select = new QWidget(steps_);
        auto* selectLayout = new QVBoxLayout(select);
        selectLayout->addWidget(new QLabel(ImportWizard::kSelectFileTitle, select));
        selectLayout->addWidget(new QLabel(ImportWizard::kSelectFilePrompt, select));
        auto* choose = new QPushButton(ImportWizard::kChooseFile, select);
        choose->setObjectName(QStringLiteral("chooseFile"));
        selectLayout->addWidget(choose);
        selectLayout->addStretch();
        steps_->addWidget(select);

        auto* preview = new QWidget(steps_);
        auto* previewLayout = new QVBoxLayout(preview);
        presets_ = new QListWidget(preview);
        presets_->setObjectName(QStringLiteral("importPresetList"));
        auto* next = new QPushButton(QStringLiteral("Next"), preview);
        next->setObjectName(QStringLiteral("next"));
        previewLayout->addWidget(presets_, 1);
        previewLayout->addWidget(next);
        steps_->addWidget(preview);

        auto* confirm = new QWidget(steps_);
        auto* confirmLayout = new QVBoxLayout(confirm);
        confirmLayout->addWidget(new QLabel(ImportWizard::kReadyTitle, confirm));
        confirmLayout->addWidget(new QLabel(ImportWizard::kReadySubtitle, confirm));
        summary_ = new QLabel(confirm);
        summary_->setObjectName(QStringLiteral("importSummary"));
        confirmLayout->addWidget(summary_);
        auto* import = new QPushButton(QStringLiteral("Import"), confirm);
        import->setObjectName(QStringLiteral("import"));
        confirmLayout->addWidget(import);
        confirmLayout->addStretch();
        steps_->addWidget(confirm);

        connect(choose, &QPushButton::clicked, this, [this] {
            const QString path = QFileDialog::getOpenFileName(this, ImportWizard::kSelectFileTitle, QString(),
                                                              QStringLiteral("JSON (*.json)"));
            if (!path.isEmpty()) {
                wizard_.loadPresets(path);
                showStep();
            }
        });
        connect(presets_, &QListWidget::itemChanged, this, [this](QListWidgetItem* row) {
            const int index = presets_->row(row);
            if (index >= 0 && index < wizard_.importPresets.size())
                wizard_.importPresets[index].isSelected = row->checkState() == Qt::Checked;
        });
        connect(next, &QPushButton::clicked, this, [this] {
            wizard_.advance();
            showStep();
        });
        connect(import, &QPushButton::clicked, this, [this] {
            if (DockPresetManager* manager = DockPresetManager::existing();
                manager && wizard_.importSelectedPresets(*manager)) {
                AlertPresenter::shared().runMessage(
                    {ImportWizard::kSuccessTitle, ImportWizard::kSuccessMessage, {QStringLiteral("OK")}});
                close();
                return;
            }
            showStep();
        });
        // The wizard moves to its preview on a timer; follow it.
        wizard_.stepChanged = [this] { showStep(); };
        if (!link.isEmpty()) {
            wizard_.downloadAndLoad(QUrl(link), QuayshareImportClient());
            showStep();
        }
    }

private:
    void showStep() {
        error_->setText(wizard_.showError ? wizard_.errorMessage : QString());
        if (wizard_.currentStep == ImportStep::Preview && presets_->count() != wizard_.importPresets.size()) {
            QSignalBlocker block(presets_);
            presets_->clear();
            for (const ImportPresetItem& item : wizard_.importPresets) {
                auto* row = new QListWidgetItem(
                    QStringLiteral("%1  (%2 missing)").arg(item.importName).arg(item.missingCount()), presets_);
                row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
                row->setCheckState(item.isSelected ? Qt::Checked : Qt::Unchecked);
            }
        }
        if (wizard_.currentStep == ImportStep::Confirmation) {
            int count = 0;
            int apps = 0;
            int items = 0;
            for (const ImportPresetItem& item : wizard_.importPresets) {
                if (!item.isSelected)
                    continue;
                ++count;
                apps += static_cast<int>(item.apps.size());
                items += static_cast<int>(item.folderStacks.size());
            }
            summary_->setText(QStringLiteral("%1 %2\n%3 %4\n%5 %6")
                                  .arg(ImportWizard::kPresetsToImport)
                                  .arg(count)
                                  .arg(ImportWizard::kTotalApps)
                                  .arg(apps)
                                  .arg(ImportWizard::kTotalItems)
                                  .arg(items));
        }
        steps_->setCurrentIndex(static_cast<int>(wizard_.currentStep));
    }

    ImportWizard wizard_;
    QStackedWidget* steps_ = nullptr;
    QListWidget* presets_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* error_ = nullptr;
};

} // namespace

ShellWindow::ShellWindow(const QString& name, const QString& autosaveName, QSize size, std::function<void()> closed)
    : name_(name), autosaveName_(autosaveName), closed_(std::move(closed)) {
    setObjectName(name);
    setWindowTitle(shellWindowTitle(name));
    resize(size);
    followCurrentTheme(this);
}

void ShellWindow::placeOnFirstShow() {
    if (!autosaveName_.isEmpty()) {
        if (const auto stored = UserDefaults::standard().string(kFrameKeyPrefix + autosaveName_)) {
            if (const auto frame = frameFromText(*stored)) {
                setGeometry(*frame);
                return;
            }
        }
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void ShellWindow::saveFrame() const {
    if (autosaveName_.isEmpty())
        return;
    const QScreen* screen = this->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    try {
        UserDefaults::standard().set(kFrameKeyPrefix + autosaveName_, frameText(geometry(), area));
    } catch (const UserDefaultsError& error) {
        printWarning(QStringLiteral("Could not keep the frame of the %1 window: %2").arg(name_, error.message()));
    }
}

void ShellWindow::closeEvent(QCloseEvent* event) {
    saveFrame();
    if (closed_)
        closed_();
    event->accept();
}

ShellWindow* makeShellWindow(const QString& name, const QString& argument, std::function<void()> closed) {
    if (name == kMainWindowName)
        return new MainWindow(std::move(closed));
    if (name == kSettingsWindowName)
        return new SettingsWindow(std::move(closed));
    if (name == kImportWizardWindowName)
        return new ImportWizardWindow(argument, std::move(closed));
    return nullptr;
}

} // namespace pierline
