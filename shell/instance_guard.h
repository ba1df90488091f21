// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Single-copy guard. The first copy of the program holds a lock file and
// listens on a local socket; a later copy started by the same user finds the
// lock taken, asks the running copy over the socket to bring its window to
// the front, and ends.
//
// The key comes from the executable's file name in upper case plus the user
// id; the environment variable CORVANE_INSTANCE_KEY replaces it (tests use
// this so that they never meet a copy the user is running).

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace corvane {

class InstanceGuard : public QObject {
    Q_OBJECT
public:
    // key: empty for the default key (environment override, else file name).
    explicit InstanceGuard(QString key = {}, QObject* parent = nullptr);
    ~InstanceGuard() override;

    // Takes the lock. True when this is the first copy (it then listens for
    // later copies); false when another copy holds the lock: the running copy
    // has then been asked to come to the front (if it could be reached).
    bool tryBecomeFirst();

    bool isFirst() const { return first_; }
    QString key() const { return key_; }
    QString lockFilePath() const;
    QString serverName() const;

    // Default key for an executable path: the file name, extension
    // included, upper-cased (ASCII only), plus "-" and the user id.
    static QString defaultKey(const QString& executablePath);

signals:
    // A later copy asked this one to show its window.
    void raiseRequested();

private:
    void onNewConnection();
    bool askRunningCopyToRaise();

    QString key_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool first_ = false;
};

} // namespace corvane
