#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace pierline {

// A window of the program: its frame is kept in our defaults domain under "NSWindow Frame
// {autosave name}" (when it has one), and closing it tells the shell.
class ShellWindow : public QWidget {
public:
    ShellWindow(const QString& name, const QString& autosaveName, QSize size, std::function<void()> closed);

    QString name() const { return name_; }
    // Puts the window where it last was, or centred on the primary screen.
    void placeOnFirstShow();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void saveFrame() const;

    QString name_;
    QString autosaveName_;
    std::function<void()> closed_;
};

// The program's windows by name; `argument` is the import wizard's link. Null for an unknown name.
ShellWindow* makeShellWindow(const QString& name, const QString& argument, std::function<void()> closed);

} // namespace pierline
