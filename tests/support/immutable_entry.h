#pragma once

#include <QFile>
#include <QString>

#include <utility>

// The immutable attribute of a file or directory: the file system refuses to
// change the entry even for root, as it would a file on a read-only medium.
// Tests run as root, for whom permission bits refuse nothing. False where
// the file system or the platform has no such attribute.
bool setImmutable(const QString& path, bool immutable);

// Keeps an entry immutable until lift() or the end of its life, so a failed
// test still leaves a temporary directory that can be removed.
class ImmutableEntry {
public:
    explicit ImmutableEntry(QString path) : path_(std::move(path)) {
        set_ = setImmutable(path_, true);
    }
    ~ImmutableEntry() { lift(); }
    ImmutableEntry(const ImmutableEntry&) = delete;
    ImmutableEntry& operator=(const ImmutableEntry&) = delete;

    // False when the file system has no such attribute.
    bool isSet() const { return set_; }
    bool lift() {
        if (set_) {
            set_ = !setImmutable(path_, false);
        }
        return !set_;
    }

private:
    QString path_;
    bool set_ = false;
};
