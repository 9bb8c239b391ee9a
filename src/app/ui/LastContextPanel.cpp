#include "LastContextPanel.h"

#include "platform/AllWorkspaces.h"
#include "platform/Clock.h"
#include "platform/Displays.h"
#include "platform/Log.h"
#include "switching/LastContextWindowManager.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace pierline {

namespace {

const Logger& log() {
    static const Logger logger(QStringLiteral("LastContext"));
    return logger;
}

QLabel* makeLabel(const QString& text, int pointSize, bool bold, const QString& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colour));
    label->setWordWrap(true);
    return label;
}

bool hasText(const std::optional<QString>& text) {
    return text && !text->trimmed().isEmpty();
}

} // namespace

// The window itself: the popup view bound to the manager's view model.
class LastContextWindow : public QWidget {
public:
    LastContextWindow(bool interactive, LastContextWindowManager& manager) : manager_(manager) {
        Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
        if (!interactive)
            flags |= Qt::WindowDoesNotAcceptFocus;
        setWindowFlags(flags);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating, !interactive);
        setWindowTitle(LastContextViewModel::kHeader);
        setFixedSize(LastContextPanel::kSize);

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(22, 18, 22, 18);
        layout->setSpacing(8);
        layout->addWidget(makeLabel(LastContextViewModel::kHeader, 9, true, QStringLiteral("#5b6b82"), this));
        title_ = makeLabel({}, 14, true, QStringLiteral("#1d2533"), this);
        layout->addWidget(title_);
        statusLabel_ = makeLabel(LastContextViewModel::kStatusLabel, 10, true, QStringLiteral("#3a4659"), this);
        layout->addWidget(statusLabel_);
        statusText_ = makeLabel({}, 11, false, QStringLiteral("#1d2533"), this);
        layout->addWidget(statusText_);
        editor_ = new QPlainTextEdit(this);
        editor_->setPlaceholderText(LastContextViewModel::kPlaceholder);
        editor_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: rgba(255, 255, 255, 210); color: #1d2533;"
                                              " border: 1px solid #b8c4d6; border-radius: 8px; padding: 4px; }"));
        editor_->installEventFilter(this);
        layout->addWidget(editor_, 1);
        nextStepsLabel_ = makeLabel(LastContextViewModel::kNextStepsLabel, 10, true, QStringLiteral("#3a4659"), this);
        layout->addWidget(nextStepsLabel_);
        nextStepsText_ = makeLabel({}, 11, false, QStringLiteral("#1d2533"), this);
        layout->addWidget(nextStepsText_);
        updatedAt_ = makeLabel({}, 9, false, QStringLiteral("#5b6b82"), this);
        layout->addWidget(updatedAt_);
        layout->addStretch(interactive ? 0 : 1);
        hint_ = makeLabel(LastContextViewModel::kHint, 9, false, QStringLiteral("#5b6b82"), this);
        layout->addWidget(hint_);
        progress_ = new QProgressBar(this);
        progress_->setRange(0, 1000);
        progress_->setTextVisible(false);
        progress_->setFixedHeight(6);
        progress_->setStyleSheet(
            QStringLiteral("QProgressBar { background: #d5dce8; border: none; border-radius: 3px; }"
                           "QProgressBar::chunk { background: #3d7be0; border-radius: 3px; }"));
        layout->addWidget(progress_);
        auto* row = new QHBoxLayout;
        countdown_ = makeLabel({}, 9, false, QStringLiteral("#5b6b82"), this);
        row->addWidget(countdown_, 1);
        auto* close = new QPushButton(LastContextViewModel::kCloseButton, this);
        close->setFocusPolicy(interactive ? Qt::TabFocus : Qt::NoFocus);
        row->addWidget(close);
        layout->addLayout(row);

        connect(close, &QPushButton::clicked, this, [this] { later([](LastContextWindowManager& m) { m.close(); }); });
        connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
            if (syncing_)
                return;
            manager_.viewModel().setContextText(editor_->toPlainText());
            // Whoever writes does not want the panel to close under them.
            manager_.pauseAutoClose();
        });
        connect(&manager_.viewModel(), &LastContextViewModel::changed, this, [this] { refresh(); });
    }

    void refresh() {
        const LastContextViewModel& vm = manager_.viewModel();
        const bool writing = vm.presentationMode() != PresentationMode::incomingDisplay;
        title_->setText(vm.title());
        editor_->setVisible(writing);
        hint_->setVisible(writing);
        if (writing && editor_->toPlainText() != vm.contextText()) {
            syncing_ = true;
            editor_->setPlainText(vm.contextText());
            editor_->moveCursor(QTextCursor::End);
            syncing_ = false;
        }
        statusLabel_->setVisible(writing || hasText(vm.incomingStatus()));
        statusText_->setVisible(!writing && hasText(vm.incomingStatus()));
        statusText_->setText(vm.incomingStatus().value_or(QString()));
        nextStepsLabel_->setVisible(!writing && hasText(vm.incomingNextSteps()));
        nextStepsText_->setVisible(!writing && hasText(vm.incomingNextSteps()));
        nextStepsText_->setText(vm.incomingNextSteps().value_or(QString()));
        updatedAt_->setVisible(!writing && vm.incomingUpdatedAt().has_value());
        updatedAt_->setText(vm.updatedAtText(Clock::shared().now()));
        progress_->setVisible(vm.autoCloseEnabled());
        countdown_->setVisible(vm.autoCloseEnabled());
        progress_->setValue(static_cast<int>(std::lround(std::clamp(vm.autoCloseProgress(), 0.0, 1.0) * 1000)));
        countdown_->setText(vm.countdownText());
    }

    void focusField() {
        if (manager_.viewModel().shouldAutoFocusStatus() && editor_->isVisible())
            editor_->setFocus(Qt::ActiveWindowFocusReason);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == editor_ && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (enter && key->modifiers().testFlag(Qt::ShiftModifier)) {
                later([](LastContextWindowManager& m) { m.save(); });
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath card;
        card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 16, 16);
        QLinearGradient fill(0, 0, width() * 0.3, height());
        fill.setColorAt(0.0, QColor(250, 247, 240, 250));
        fill.setColorAt(0.55, QColor(236, 242, 250, 250));
        fill.setColorAt(1.0, QColor(221, 232, 247, 250));
        painter.fillPath(card, fill);
        QLinearGradient accent(0, 0, width(), 0);
        accent.setColorAt(0.0, QColor(61, 123, 224));
        accent.setColorAt(1.0, QColor(142, 84, 233));
        painter.fillRect(QRectF(22, 10, width() - 44, 3), accent);
        painter.setPen(QPen(QColor(160, 174, 196), 1));
        painter.drawPath(card);
    }

    void enterEvent(QEnterEvent*) override { manager_.pauseAutoClose(); }
    void leaveEvent(QEvent*) override {
        // A note being written keeps the countdown stopped.
        if (manager_.viewModel().contextText() == manager_.viewModel().initialContextText)
            manager_.resumeAutoClose();
    }

    // Moved by its background: the window manager drags it when it can, else we do.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        dragFrom_ = event->globalPosition().toPoint() - pos();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (dragFrom_ && event->buttons().testFlag(Qt::LeftButton))
            move(event->globalPosition().toPoint() - *dragFrom_);
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragFrom_.reset(); }

private:
    // Save and close may replace this very window: they run once the event that asked is done.
    void later(void (*action)(LastContextWindowManager&)) {
        LastContextWindowManager* manager = &manager_;
        QTimer::singleShot(0, &manager_.viewModel(), [manager, action] { action(*manager); });
    }

    LastContextWindowManager& manager_;
    QLabel* title_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* statusText_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* nextStepsLabel_ = nullptr;
    QLabel* nextStepsText_ = nullptr;
    QLabel* updatedAt_ = nullptr;
    QLabel* hint_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* countdown_ = nullptr;
    bool syncing_ = false;
    std::optional<QPoint> dragFrom_;
};

LastContextPanel::LastContextPanel(bool interactive, LastContextWindowManager& manager, ReduceMotion reduceMotion)
    : interactive_(interactive), reduceMotion_(std::move(reduceMotion)),
      window_(std::make_unique<LastContextWindow>(interactive, manager)) {}

LastContextPanel::~LastContextPanel() = default;

QPoint LastContextPanel::origin(const QRect& available, QSize size) {
    const int right = available.x() + available.width();
    const int bottom = available.y() + available.height();
    return {std::max(right - kMargin - size.width(), available.x() + kMargin),
            std::min(available.y() + kMargin, bottom - kMargin - size.height())};
}

void LastContextPanel::place() {
    target_ = origin(Displays::shared().underPointer().availableFrame);
}

void LastContextPanel::show() {
    // A fade still running belongs to the content this one replaces.
    stopAnimation();
    window_->refresh();
    window_->winId();
    QString error;
    if (!showOnAllWorkspaces(*window_->windowHandle(), &error))
        log().info(QStringLiteral("The panel stays on one workspace: %1").arg(error));
    if (window_->isVisible() || reduceMotion_()) {
        window_->move(target_);
        window_->setWindowOpacity(1.0);
        window_->show();
    } else {
        window_->move(target_ + QPoint(kSlide, 0));
        window_->setWindowOpacity(0.0);
        window_->show();
        auto* group = new QParallelAnimationGroup(window_.get());
        auto* slide = new QPropertyAnimation(window_.get(), "pos", group);
        slide->setEndValue(target_);
        auto* fade = new QPropertyAnimation(window_.get(), "windowOpacity", group);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        for (QPropertyAnimation* animation : {slide, fade}) {
            animation->setDuration(kFadeInMs);
            animation->setEasingCurve(QEasingCurve::OutCubic);
        }
        animation_ = group;
        group->start(QAbstractAnimation::DeleteWhenStopped);
    }
    window_->raise();
    if (interactive_) {
        window_->activateWindow();
        window_->focusField();
    }
}

void LastContextPanel::fadeOut(std::function<void()> done) {
    stopAnimation();
    if (!window_->isVisible() || reduceMotion_()) {
        done();
        return;
    }
    auto* fade = new QPropertyAnimation(window_.get(), "windowOpacity", window_.get());
    fade->setEndValue(0.0);
    fade->setDuration(kFadeOutMs);
    fade->setEasingCurve(QEasingCurve::InCubic);
    // `done` may replace this panel, so it runs once the animation is done with; a panel
    // destroyed meanwhile never calls back.
    QObject::connect(fade, &QPropertyAnimation::finished, window_.get(),
                     [this, done = std::move(done)] { QTimer::singleShot(0, window_.get(), done); });
    animation_ = fade;
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void LastContextPanel::stopAnimation() {
    // Deleting it stops it without a finished signal.
    delete animation_.data();
}

void LastContextPanel::orderOut() {
    stopAnimation();
    window_->hide();
}

void LastContextPanel::setAlpha(double alpha) {
    window_->setWindowOpacity(alpha);
}

} // namespace pierline
