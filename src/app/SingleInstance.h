#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// One running copy per installation: a lock file in the installation's data folder (a lock
// left by a killed process is taken over) plus a local server named after the instance
// name, through which a second start asks the running copy to come to the front.
class CSingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit CSingleInstance(QObject *parent = nullptr);
    ~CSingleInstance() override;

    // Takes the lock at lockPath and listens on name. False when another process holds the
    // lock (this installation runs already).
    bool Acquire(const QString &lockPath, const QString &name);
    bool isHeld() const;
    QString name() const { return m_name; }

    // Asks the copy listening on name to activate its window; false when none answered.
    static bool RequestActivation(const QString &name, int timeoutMs = 1000);

Q_SIGNALS:
    void activationRequested();

private:
    void OnNewConnection();

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QString m_name;
};
