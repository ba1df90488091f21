// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/instance_guard.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace corvane {

namespace {

constexpr char kRaiseRequest[] = "raise\n";

QString upperAscii(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return out;
}

} // namespace

QString InstanceGuard::defaultKey(const QString& executablePath) {
    return upperAscii(QFileInfo(executablePath).fileName()) + QLatin1Char('-') + QString::number(::getuid());
}

InstanceGuard::InstanceGuard(QString key, QObject* parent) : QObject(parent), key_(std::move(key)) {
    if (key_.isEmpty())
        key_ = qEnvironmentVariable("CORVANE_INSTANCE_KEY");
    if (key_.isEmpty())
        key_ = defaultKey(QCoreApplication::applicationFilePath());
}

InstanceGuard::~InstanceGuard() {
    if (server_)
        server_->close();
}

QString InstanceGuard::lockFilePath() const {
    return QDir::temp().filePath(key_ + QStringLiteral(".lock"));
}

QString InstanceGuard::serverName() const {
    return QDir::temp().filePath(key_ + QStringLiteral(".socket"));
}

bool InstanceGuard::tryBecomeFirst() {
    if (first_)
        return true;
    lock_ = std::make_unique<QLockFile>(lockFilePath());
    // Held for the whole run; a lock left by a copy that died is detected by
    // its process id and taken over.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        first_ = true;
        server_ = std::make_unique<QLocalServer>();
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        // Holding the lock, a socket file left behind can only be stale.
        QLocalServer::removeServer(serverName());
        connect(server_.get(), &QLocalServer::newConnection, this, &InstanceGuard::onNewConnection);
        if (!server_->listen(serverName()))
            qWarning("Single-copy guard: cannot listen on %s: %s", qPrintable(serverName()),
                     qPrintable(server_->errorString()));
        return true;
    }
    lock_.reset();
    askRunningCopyToRaise();
    return false;
}

bool InstanceGuard::askRunningCopyToRaise() {
    // The running copy may have taken the lock a moment ago and not yet be
    // listening: try for a short while.
    QDeadlineTimer deadline(1500);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (socket.waitForConnected(200)) {
            socket.write(kRaiseRequest);
            const bool sent = socket.waitForBytesWritten(500);
            socket.disconnectFromServer();
            return sent;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

void InstanceGuard::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto drain = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine().trimmed() == "raise")
                    emit raiseRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, drain);
        connect(socket, &QLocalSocket::disconnected, this, [socket, drain] {
            drain();
            socket->deleteLater();
        });
        drain();
    }
}

} // namespace corvane
