#include "record/record_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

// Which temporary files a start clears away, told by process numbers that a
// fork makes dead or alive.
class DeadTemporariesTest : public QObject {
    Q_OBJECT
private slots:
    void onlyDeadProgramsTemporariesAreRemoved();
};

// Temporary files of records whose program no longer runs go at the next
// start; those of a running program, one that holds its lock, and files of
// other names stay.
void DeadTemporariesTest::onlyDeadProgramsTemporariesAreRemoved() {
    QTemporaryDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    QVERIFY(child > 0);
    QCOMPARE(::waitpid(child, nullptr, 0), child);
    const QString dead = QString::number(child);
    const QString own = QString::number(QCoreApplication::applicationPid());
    const QString running = QString::number(::getppid());
    const QStringList gone{".2026126539.TXT." + dead + "-1.part",
                           // An earlier process of this number: one in a
                           // container starts with the same number each time.
                           ".2026126539.csv." + own + "-7.part"};
    const QStringList kept{".2026126539.TXT." + running + "-1.part",
                           ".2026126539.png." + dead + "-2.part", "notes.part",
                           ".2026126539.TXT.part", "2026126539.TXT." + dead + "-3.part"};
    for (const QString& name : gone + kept) {
        QFile file(dir.path() + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // A program on another machine sharing the folder, whose number means
    // nothing here, holds the lock of the file it writes.
    QFile locked(dir.path() + QLatin1Char('/') + kept[1]);
    QVERIFY(locked.open(QIODevice::ReadWrite));
    QCOMPARE(::flock(locked.handle(), LOCK_EX | LOCK_NB), 0);

    removeDeadTemporaries(dir.path());
    QStringList expected = kept;
    expected.sort();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

QTEST_MAIN(DeadTemporariesTest)
#include "test_dead_temporaries_posix.moc"
