#pragma once

#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

// Lets only one copy of the client run for the user: the running copy holds a named
// shared-memory segment; a named system semaphore serialises every attach, create and detach.
class InstanceGuard
{
public:
    explicit InstanceGuard(const QString &key);
    ~InstanceGuard();

    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    bool isOtherInstanceRunning();
    bool claim();
    void release();

    // 40 lower-case hex digits of SHA-1 over the UTF-8 bytes of key followed by those of salt.
    static QString hashedKey(const QString &key, const QString &salt);

    QString lockKeyName() const { return lockKey; }
    QString memoryKeyName() const { return memoryKey; }

private:
    const QString key;
    const QString lockKey;
    const QString memoryKey;
    QSharedMemory sharedMemory;
    QSystemSemaphore lock;
};
