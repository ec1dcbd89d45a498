#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kiv::pf::lnx {

// A freedesktop icon theme with everything it inherits (its Inherits= chain, then "hicolor"),
// read once: every icon directory is listed when the theme is loaded, so that finding the file of
// an icon afterwards is a look-up in memory. Raster files only (PNG, XPM): the stock themes ship
// every full-colour icon as PNG at several sizes; their SVGs are the symbolic variants, which a
// file list does not show.
//
// Immutable after Load; any thread may read it.
class TIconTheme
{
public:
    // pTheme and its ancestors from the "icons" folders of pBaseDirs (searched in order, as
    // $XDG_DATA_HOME/icons, ~/.icons, $XDG_DATA_DIRS/icons are); unreadable themes are skipped, so
    // the result may be empty.
    static std::shared_ptr<const TIconTheme> Load(const QString& pTheme,
                                                  const QStringList& pBaseDirs);
    // The folders the freedesktop rules search: ~/.icons, $XDG_DATA_HOME/icons, each of
    // $XDG_DATA_DIRS/icons, /usr/share/pixmaps.
    static QStringList DefaultBaseDirs();

    // The file that shows pName best at pPixels: a directory of exactly that size, else the
    // smallest larger one (scaling down looks better than scaling up), else the largest. The
    // first theme of the chain that has the name decides. Empty when no theme has it.
    QString Find(const QString& pName, int pPixels) const;
    bool Has(const QString& pName) const;
    // The themes read, the requested one first.
    QStringList Chain() const;

private:
    struct TDir
    {
        int Size = 0;
        int MinSize = 0;
        int MaxSize = 0;
    };
    struct TFile
    {
        int Dir;
        QString Path;
    };
    struct TTheme
    {
        QString Name;
        std::vector<TDir> Dirs;
        QHash<QString, std::vector<TFile>> Icons;
    };

    static bool LoadOne(const QString& pName, const QStringList& pBaseDirs, TTheme& pTheme,
                        QStringList& pInherits);
    static QString Pick(const TTheme& pTheme, const std::vector<TFile>& pFiles, int pPixels);

    std::vector<TTheme> fChain;
    // Loose files of the base folders (such as /usr/share/pixmaps): the last resort.
    QHash<QString, QString> fLoose;
};

} // namespace kiv::pf::lnx
