#pragma once

#include <algorithm>

#include "platform/Log.h"

#include <QStringList>
#include <mutex>
#include <vector>

namespace pierline::test {

// Installs itself as the log sink for its lifetime and keeps every line.
class CapturingLogSink : public LogSink {
public:
    CapturingLogSink() { setLogSink(this); }
    ~CapturingLogSink() override { setLogSink(nullptr); }

    void plain(const QString& line) override {
        std::lock_guard lock(mutex_);
        plain_.append(line);
    }
    // A warning is a plain line too; warningLines() tells the ones the user always sees.
    void warning(const QString& line) override {
        std::lock_guard lock(mutex_);
        plain_.append(line);
        warnings_.append(line);
    }
    void structured(const LogRecord& record) override {
        std::lock_guard lock(mutex_);
        structured_.push_back(record);
    }

    QStringList plainLines() const {
        std::lock_guard lock(mutex_);
        return plain_;
    }
    QStringList warningLines() const {
        std::lock_guard lock(mutex_);
        return warnings_;
    }
    bool warned(const QString& line) const { return warningLines().contains(line); }
    bool warnedContaining(const QString& part) const {
        const QStringList lines = warningLines();
        return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(part); });
    }
    std::vector<LogRecord> records() const {
        std::lock_guard lock(mutex_);
        return structured_;
    }
    QStringList messages(const QString& category = {}) const {
        std::lock_guard lock(mutex_);
        QStringList out;
        for (const auto& r : structured_)
            if (category.isEmpty() || r.category == category)
                out.append(r.message);
        return out;
    }
    bool printed(const QString& line) const { return plainLines().contains(line); }
    bool printedContaining(const QString& part) const {
        for (const QString& l : plainLines())
            if (l.contains(part))
                return true;
        return false;
    }
    bool logged(const QString& message) const { return messages().contains(message); }
    void clear() {
        std::lock_guard lock(mutex_);
        plain_.clear();
        warnings_.clear();
        structured_.clear();
    }

private:
    mutable std::mutex mutex_;
    QStringList plain_;
    QStringList warnings_;
    std::vector<LogRecord> structured_;
};

} // namespace pierline::test
