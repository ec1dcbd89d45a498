#include "IconTheme.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace kiv::pf::lnx {
namespace {

bool IsRasterIcon(const QString& pFile)
{
    return pFile.endsWith(QLatin1String(".png")) || pFile.endsWith(QLatin1String(".xpm"));
}

QString IconNameOf(const QString& pFile)
{
    return pFile.left(pFile.lastIndexOf(u'.'));
}

QStringList SplitList(const QVariant& pValue)
{
    // QSettings gives a list for "a,b,c" and a string for a single value.
    QStringList list = pValue.toStringList();
    for (QString& item : list)
        item = item.trimmed();
    list.removeAll(QString());
    return list;
}

} // namespace

QStringList TIconTheme::DefaultBaseDirs()
{
    QStringList dirs;
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        dirs << home + QStringLiteral("/.icons");
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() && !home.isEmpty())
        dataHome = home + QStringLiteral("/.local/share");
    if (!dataHome.isEmpty())
        dirs << dataHome + QStringLiteral("/icons");
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(u':', Qt::SkipEmptyParts))
        dirs << dir + QStringLiteral("/icons");
    dirs << QStringLiteral("/usr/share/pixmaps");
    return dirs;
}

bool TIconTheme::LoadOne(const QString& pName, const QStringList& pBaseDirs, TTheme& pTheme,
                         QStringList& pInherits)
{
    // The first base folder with an index.theme describes the theme; its directories may be
    // spread over every base folder.
    QString index;
    for (const QString& base : pBaseDirs) {
        const QString candidate = base + u'/' + pName + QStringLiteral("/index.theme");
        if (QFileInfo::exists(candidate)) {
            index = candidate;
            break;
        }
    }
    if (index.isEmpty())
        return false;

    QSettings settings(index, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Icon Theme"));
    pInherits = SplitList(settings.value(QStringLiteral("Inherits")));
    QStringList dirs = SplitList(settings.value(QStringLiteral("Directories")));
    dirs += SplitList(settings.value(QStringLiteral("ScaledDirectories")));
    settings.endGroup();

    pTheme.Name = pName;
    for (const QString& dir : dirs) {
        settings.beginGroup(dir);
        const int size = settings.value(QStringLiteral("Size")).toInt();
        const int scale = std::max(1, settings.value(QStringLiteral("Scale"), 1).toInt());
        const QString type =
            settings.value(QStringLiteral("Type"), QStringLiteral("Threshold")).toString();
        const int threshold = settings.value(QStringLiteral("Threshold"), 2).toInt();
        TDir entry;
        entry.Size = size * scale;
        entry.MinSize = settings.value(QStringLiteral("MinSize"), size).toInt() * scale;
        entry.MaxSize = settings.value(QStringLiteral("MaxSize"), size).toInt() * scale;
        if (type == QLatin1String("Threshold")) {
            entry.MinSize = (size - threshold) * scale;
            entry.MaxSize = (size + threshold) * scale;
        } else if (type == QLatin1String("Fixed")) {
            entry.MinSize = entry.MaxSize = entry.Size;
        }
        settings.endGroup();
        if (size <= 0)
            continue;

        const int dirIndex = static_cast<int>(pTheme.Dirs.size());
        pTheme.Dirs.push_back(entry);
        for (const QString& base : pBaseDirs) {
            const QDir folder(base + u'/' + pName + u'/' + dir);
            const QStringList files = folder.entryList(QDir::Files | QDir::Readable);
            for (const QString& file : files) {
                if (IsRasterIcon(file))
                    pTheme.Icons[IconNameOf(file)].push_back({dirIndex, folder.filePath(file)});
            }
        }
    }
    return true;
}

std::shared_ptr<const TIconTheme> TIconTheme::Load(const QString& pTheme,
                                                   const QStringList& pBaseDirs)
{
    auto theme = std::make_shared<TIconTheme>();
    QStringList pending{pTheme};
    QStringList seen;
    bool hicolorQueued = false;
    while (!pending.isEmpty()) {
        const QString name = pending.takeFirst();
        if (seen.contains(name))
            continue;
        seen << name;
        TTheme loaded;
        QStringList inherits;
        if (LoadOne(name, pBaseDirs, loaded, inherits))
            theme->fChain.push_back(std::move(loaded));
        // Parents in order, depth first, as the freedesktop rules walk them.
        for (auto it = inherits.crbegin(); it != inherits.crend(); ++it)
            pending.prepend(*it);
        if (pending.isEmpty() && !hicolorQueued) {
            hicolorQueued = true;
            pending << QStringLiteral("hicolor");
        }
    }
    for (const QString& base : pBaseDirs) {
        const QDir folder(base);
        for (const QString& file : folder.entryList(QDir::Files | QDir::Readable)) {
            if (IsRasterIcon(file) && !theme->fLoose.contains(IconNameOf(file)))
                theme->fLoose.insert(IconNameOf(file), folder.filePath(file));
        }
    }
    return theme;
}

QString TIconTheme::Pick(const TTheme& pTheme, const std::vector<TFile>& pFiles, int pPixels)
{
    const TFile* larger = nullptr; // the smallest directory above the size
    const TFile* largest = nullptr;
    for (const TFile& file : pFiles) {
        const TDir& dir = pTheme.Dirs[static_cast<std::size_t>(file.Dir)];
        if (dir.MinSize <= pPixels && pPixels <= dir.MaxSize && dir.Size == pPixels)
            return file.Path;
        if (dir.Size >= pPixels &&
            (!larger || dir.Size < pTheme.Dirs[static_cast<std::size_t>(larger->Dir)].Size))
            larger = &file;
        if (!largest || dir.Size > pTheme.Dirs[static_cast<std::size_t>(largest->Dir)].Size)
            largest = &file;
    }
    return larger ? larger->Path : largest ? largest->Path : QString();
}

QString TIconTheme::Find(const QString& pName, int pPixels) const
{
    for (const TTheme& theme : fChain) {
        const auto it = theme.Icons.constFind(pName);
        if (it != theme.Icons.constEnd() && !it->empty())
            return Pick(theme, *it, pPixels);
    }
    return fLoose.value(pName);
}

bool TIconTheme::Has(const QString& pName) const
{
    return std::any_of(fChain.begin(), fChain.end(),
                       [&](const TTheme& pTheme) { return pTheme.Icons.contains(pName); }) ||
           fLoose.contains(pName);
}

QStringList TIconTheme::Chain() const
{
    QStringList names;
    for (const TTheme& theme : fChain)
        names << theme.Name;
    return names;
}

} // namespace kiv::pf::lnx
