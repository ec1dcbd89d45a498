// Reading the window placement from "data.ini" at start-up, against QSettings reading the same
// four keys (what a Qt program would use instead). Each read is a program's first of its file, so
// both sides read and parse it: every call gets a file of its own, since QSettings keeps a file it
// has parsed for the rest of the process.
#include "KivBench.h"
#include "app/settei.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using namespace kiv::bench;

namespace {

constexpr int kFiles = 2000;

QStringList WriteCopies(const QTemporaryDir& pDir, const QString& pPrefix, const QByteArray& pBytes)
{
    QStringList paths;
    for (int i = 0; i < kFiles; ++i) {
        paths.append(pDir.filePath(pPrefix + QString::number(i) + ".ini"));
        QFile file(paths.last());
        if (!file.open(QIODevice::WriteOnly) || file.write(pBytes) != pBytes.size())
            std::abort();
    }
    return paths;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QByteArray contents = "[mainform]\r\ntop=120\r\nleft=80\r\nwidth=1200\r\nheight=800\r\n";
    for (int i = 0; i < 20; ++i)
        contents +=
            "[other" + QByteArray::number(i) + "]\r\nkey=value " + QByteArray::number(i) + "\r\n";

    int sink = 0;
    double ours = 1e9;
    double qsettings = 1e9;
    for (int round = 0; round < 3; ++round) {
        const QStringList mine = WriteCopies(dir, QString("ours%1_").arg(round), contents);
        const QStringList theirs = WriteCopies(dir, QString("qs%1_").arg(round), contents);
        int next = 0;
        ours = std::min(
            ours,
            SecondsPerCall([&] { sink += settei::ReadPlacement(mine[next++]).Width; }, kFiles, 1));
        next = 0;
        qsettings =
            std::min(qsettings, SecondsPerCall(
                                    [&] {
                                        QSettings settings(theirs[next++], QSettings::IniFormat);
                                        sink += settings.value("mainform/top").toInt() +
                                                settings.value("mainform/left").toInt() +
                                                settings.value("mainform/width").toInt() +
                                                settings.value("mainform/height").toInt();
                                    },
                                    kFiles, 1));
    }
    Bench("settings_read_placement", ours * 1e6, "us");
    Bench("settings_read_placement_qsettings", qsettings * 1e6, "us");
    Ratio("settings_read_placement_vs_qsettings", ours, qsettings);
    return sink == 42 ? 2 : 0;
}
