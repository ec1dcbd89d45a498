#include "DesktopEntry.h"

#include "KeyFile.h"

#include <QLocale>

namespace kiv::pf::lnx {
namespace {

QString Utf8Of(std::string_view pText)
{
    return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size()));
}

// Undoes the escapes of string values: \s \n \t \r \\ (other backslashes stay).
QString Unescape(std::string_view pValue)
{
    std::string out;
    out.reserve(pValue.size());
    for (std::size_t i = 0; i < pValue.size(); ++i) {
        const char c = pValue[i];
        if (c != '\\' || i + 1 == pValue.size()) {
            out += c;
            continue;
        }
        switch (pValue[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += pValue[i];
            break;
        }
    }
    return Utf8Of(out);
}

// A list value: items ended by ";", where "\;" is a semicolon inside an item.
QStringList SplitList(std::string_view pValue)
{
    QStringList items;
    std::string item;
    auto flush = [&] {
        const QString text = Unescape(item).trimmed();
        if (!text.isEmpty())
            items.push_back(text);
        item.clear();
    };
    for (std::size_t i = 0; i < pValue.size(); ++i) {
        if (pValue[i] == '\\' && i + 1 < pValue.size()) {
            if (pValue[i + 1] == ';')
                item += ';';
            else
                item.append(pValue.substr(i, 2));
            ++i;
        } else if (pValue[i] == ';') {
            flush();
        } else {
            item += pValue[i];
        }
    }
    flush();
    return items;
}

// How well a "Name[xx_YY]" locale matches the user's language: 2 full, 1 language, 0 none.
int LocaleMatch(std::string_view pLocale, const std::string& pFull, const std::string& pLanguage)
{
    if (!pFull.empty() && pLocale == pFull)
        return 2;
    if (!pLanguage.empty() && pLocale == pLanguage)
        return 1;
    return 0;
}

} // namespace

bool ParseDesktopEntry(std::string_view pText, TDesktopEntry& pEntry)
{
    const std::string full = QLocale::system().name().toStdString(); // "de_DE"
    const std::string language = full.substr(0, full.find('_'));
    bool found = false;
    int nameMatch = -1;
    ForEachKeyFileEntry(
        pText, [&](std::string_view pGroup, std::string_view key, std::string_view value) {
            if (pGroup != "Desktop Entry")
                return;
            found = true;
            if (key == "Name" && nameMatch < 0) {
                pEntry.Name = Unescape(value);
                nameMatch = 0;
            } else if (key.rfind("Name[", 0) == 0 && key.back() == ']') {
                const int match = LocaleMatch(key.substr(5, key.size() - 6), full, language);
                if (match > 0 && match > nameMatch) {
                    pEntry.Name = Unescape(value);
                    nameMatch = match;
                }
            } else if (key == "Type") {
                pEntry.IsApplication = value == "Application";
            } else if (key == "Exec") {
                pEntry.Exec = Unescape(value);
            } else if (key == "TryExec") {
                pEntry.TryExec = Unescape(value);
            } else if (key == "Icon") {
                pEntry.Icon = Unescape(value);
            } else if (key == "Path") {
                pEntry.WorkingDir = Unescape(value);
            } else if (key == "MimeType") {
                pEntry.MimeTypes = SplitList(value);
            } else if (key == "Categories") {
                pEntry.Categories = SplitList(value);
            } else if (key == "Terminal") {
                pEntry.Terminal = value == "true";
            } else if (key == "NoDisplay") {
                pEntry.NoDisplay = value == "true";
            } else if (key == "Hidden") {
                pEntry.Hidden = value == "true";
            }
        });
    return found;
}

bool SplitExec(const QString& pExec, QStringList& pWords)
{
    pWords.clear();
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < pExec.size(); ++i) {
        const QChar c = pExec[i];
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < pExec.size() &&
                       QStringView(u"\"`$\\").contains(pExec[i + 1])) {
                word += pExec[++i];
            } else {
                word += c;
            }
            continue;
        }
        if (c == u' ' || c == u'\t') {
            if (inWord)
                pWords.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'"')
            quoted = true;
        else
            word += c;
    }
    if (quoted)
        return false;
    if (inWord)
        pWords.push_back(word);
    return true;
}

std::vector<QStringList> ExpandExec(const TDesktopEntry& pEntry, const QStringList& pFiles)
{
    QStringList words;
    if (!SplitExec(pEntry.Exec, words) || words.isEmpty())
        return {};
    bool takesOne = false;
    bool takesAll = false;
    for (const QString& word : words) {
        if (word == QLatin1String("%F") || word == QLatin1String("%U"))
            takesAll = true;
        else if (word.contains(QLatin1String("%f")) || word.contains(QLatin1String("%u")))
            takesOne = true;
    }
    // One start per file for %f/%u; one for all otherwise (and one without files).
    std::vector<QStringList> files;
    if (takesOne && !takesAll && pFiles.size() > 1) {
        for (const QString& file : pFiles)
            files.push_back({file});
    } else {
        files.push_back(pFiles);
    }
    std::vector<QStringList> commands;
    for (const QStringList& these : files) {
        QStringList argv;
        for (const QString& word : words) {
            if (word == QLatin1String("%F") || word == QLatin1String("%U")) {
                argv += these;
                continue;
            }
            if (word == QLatin1String("%i")) {
                if (!pEntry.Icon.isEmpty())
                    argv << QStringLiteral("--icon") << pEntry.Icon;
                continue;
            }
            // Codes inside a word expand to text of that one word.
            QString out;
            bool dropWord = false;
            for (qsizetype i = 0; i < word.size(); ++i) {
                if (word[i] != u'%' || i + 1 == word.size()) {
                    out += word[i];
                    continue;
                }
                const QChar code = word[++i];
                if (code == u'%') {
                    out += u'%';
                } else if (code == u'f' || code == u'u') {
                    if (these.isEmpty())
                        dropWord = out.isEmpty() && i + 1 == word.size();
                    else
                        out += these.front();
                } else if (code == u'c') {
                    out += pEntry.Name;
                } else if (code == u'k') {
                    out += pEntry.FilePath;
                }
                // %d %D %n %N %v %m and unknown codes are dropped.
            }
            if (!dropWord && !(out.isEmpty() && word.size() == 2 && word[0] == u'%'))
                argv.push_back(out);
        }
        if (!argv.isEmpty())
            commands.push_back(argv);
    }
    return commands;
}

} // namespace kiv::pf::lnx
