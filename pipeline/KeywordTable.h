#pragma once

// The index's keywords as they are gathered: each text once, with the
// places it leads to, kept small enough for a site of 150,000 keywords.

#include "pipeline/KeywordText.h"
#include "pipeline/Utf8Text.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace quorlix::pipeline {

// Longer texts are sentences, not keywords.
inline constexpr qsizetype kLongestKeyword = 120;

// Whether a text or a keyword found on this many of the site's pages is
// found on many: the site's furniture ("Detailed Description"), or a
// keyword that would send a reader to a list as long as the contents.
inline bool FoundOnManyPages(qsizetype found, qsizetype allPages)
{
    return found >= 3 && found * 10 > allPages;
}

// A place a keyword leads to: a page, by its number among the pages, and
// an anchor in it. A large site's index has a place for every heading, so
// a place holds no text of its own: the anchor is the page's own (or one
// kept by the keywords), and the label is one of few.
struct Place {
    std::uint32_t file = 0;
    std::uint32_t label = 0;   // what tells this place from the keyword's others; 0: none, the page's name
    std::uint32_t next = 0;    // the keyword's next place, by its number plus one; 0: none
    std::string_view fragment; // the anchor in file, UTF-8; "" for the page itself
};

// The length of the sign before a method's name ("#each", "::new",
// ".method"); 0 when there is none.
inline qsizetype sigilLength(const QString &text)
{
    for (const QLatin1String sigil : {QLatin1String("::"), QLatin1String("#"), QLatin1String(".")})
        if (text.startsWith(sigil) && text.size() > sigil.size()
            && (text[sigil.size()].isLetter() || text[sigil.size()] == QLatin1Char('_')))
            return sigil.size();
    return 0;
}

// A letter and signs after it: "C#", "F#", "C++".
inline bool isLanguageName(const QString &text)
{
    return text.size() > 1 && text.front().isLetter() && std::all_of(text.cbegin() + 1, text.cend(), [](QChar c) {
               return c == QLatin1Char('#') || c == QLatin1Char('+');
           });
}

struct Keyword {
    QString text;
    std::uint32_t first = 0, last = 0; // its places, in the order they were added
};

class KeywordTable {
public:
    explicit KeywordTable(const QStringList &files) : mFiles(files) { mLabels.emplace_back(); }

    void add(const QString &rawText, std::uint32_t file, std::string_view fragment, const QString &label = {})
    {
        addCleaned(CleanedKeyword(rawText), file, fragment, label);
    }

    // The same for a text CleanedKeyword has made already.
    void addCleaned(const QString &text, std::uint32_t file, std::string_view fragment, const QString &label = {})
    {
        // A letter's heading ("- a -", "B") names no subject; a letter and
        // the signs after it do ("C#", "C++").
        if (text.size() > kLongestKeyword
            || (std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.isLetterOrNumber(); }) < 2
                && !isLanguageName(text)))
            return;
        addOne(text, file, fragment, label);
        // "ns::Name rest" is also found as "Name rest", and a method's
        // "#each", "::new" or ".method" as "each", "new", "method": readers
        // type the name, not the scope or the sign a generator puts before it.
        const qsizetype scope = text.left(text.indexOf(QLatin1Char(' '))).lastIndexOf(QLatin1String("::"));
        if (scope > 0 && scope + 2 < text.size() && text[scope + 2] != QLatin1Char(' '))
            addOne(text.mid(scope + 2), file, fragment, label);
        else if (const qsizetype sigil = sigilLength(text); sigil > 0)
            addOne(text.mid(sigil), file, fragment, label);
        else
            addNames(text, file, fragment, label);
        // "Chapter 5. Variables" is also found as "Variables".
        if (const QString title = WithoutNumberedLabel(text); !title.isEmpty())
            addOne(title, file, fragment, label);
    }

    // A documented object's full name ("os.path.join"), made by CleanedKeyword
    // already: only as it is, as the object's own name is a keyword of its own.
    void addFullName(const QString &text, std::uint32_t file, std::string_view fragment)
    {
        if (text.size() <= kLongestKeyword)
            addOne(text, file, fragment, {});
    }

    // Whether text is a keyword already that leads to a page other than file.
    bool leadsElsewhere(const QString &text, std::uint32_t file) const
    {
        if (mSlots.empty())
            return false;
        const std::uint32_t number = mSlots[slotOf(text)];
        if (number == 0)
            return false;
        bool elsewhere = false;
        forEachPlace(mKeywords[number - 1], [&](const Place &place) { elsewhere = elsewhere || place.file != file; });
        return elsewhere;
    }

    // An anchor the pages do not hold as it is (one worked out from a
    // link), kept as long as the keywords.
    std::string_view keep(const QString &fragment)
    {
        if (fragment.isEmpty())
            return {};
        return mKeptFragments.emplace_back(fragment.toStdString());
    }

    // The page a link leads to, by its number.
    std::uint32_t fileNumber(const QString &file)
    {
        if (mFileNumbers.isEmpty())
            for (qsizetype i = 0; i < mFiles.size(); ++i)
                mFileNumbers.insert(mFiles[i], static_cast<std::uint32_t>(i));
        const auto found = mFileNumbers.constFind(file);
        if (found != mFileNumbers.cend())
            return *found;
        mFiles << file;
        return *mFileNumbers.insert(file, static_cast<std::uint32_t>(mFiles.size() - 1));
    }

    // The keywords, once all are added; the lookup by text is let go.
    std::deque<Keyword> &all()
    {
        std::vector<std::uint32_t>().swap(mSlots);
        return mKeywords;
    }

    const QString &file(const Place &place) const { return mFiles[place.file]; }
    const QString &label(const Place &place) const { return mLabels[place.label]; }
    QString local(const Place &place) const
    {
        return place.fragment.empty() ? file(place) : file(place) + QLatin1Char('#') + FromUtf8(place.fragment);
    }

    template <typename Visit>
    void forEachPlace(const Keyword &keyword, Visit visit) const
    {
        for (std::uint32_t at = keyword.first; at != 0; at = mPlaces[at - 1].next)
            visit(mPlaces[at - 1]);
    }
    qsizetype placeCount(const Keyword &keyword) const
    {
        qsizetype count = 0;
        forEachPlace(keyword, [&count](const Place &) { ++count; });
        return count;
    }

private:
    // "Class: tty.ReadStream" is also found as "tty.ReadStream", and a
    // dotted name as its last ("fs.readFile(path)" as "readFile"); that
    // one's places are named by the whole name, as several objects have
    // methods of that name ("readFile" › "fs.readFile(path, callback)",
    // "fsPromises.readFile(path)").
    void addNames(const QString &text, std::uint32_t file, std::string_view fragment, const QString &label)
    {
        const QString named = NameAfterItsKind(text);
        if (!named.isEmpty())
            addOne(named, file, fragment, label);
        const QString &path = named.isEmpty() ? text : named;
        if (const QString last = LastNameOfPath(path); !last.isEmpty())
            addOne(last, file, fragment, path);
    }

    void addOne(const QString &text, std::uint32_t file, std::string_view fragment, const QString &label)
    {
        Keyword &keyword = mKeywords[find(text)];
        // One place per page, unless the site's index names several apart
        // ("join() (Widget method)", "join() (Window method)"); most
        // keywords have one or two places.
        for (std::uint32_t at = keyword.first; at != 0; at = mPlaces[at - 1].next) {
            Place &place = mPlaces[at - 1];
            if (place.file != file)
                continue;
            if (place.label == 0 && place.fragment == fragment)
                place.label = labelNumber(label); // the index page's name for it
            if (place.label == 0 || label.isEmpty() || mLabels[place.label] == label || place.fragment == fragment)
                return;
        }
        mPlaces.push_back(Place{file, labelNumber(label), 0, fragment});
        const auto added = static_cast<std::uint32_t>(mPlaces.size());
        (keyword.last != 0 ? mPlaces[keyword.last - 1].next : keyword.first) = added;
        keyword.last = added;
    }

    // The keyword of that text, added if new: an open table of the
    // keywords' numbers (plus one), found by the text's hash. A hash of
    // texts would hold a node for each of a large site's 150,000 keywords.
    std::size_t find(const QString &text)
    {
        if ((mKeywords.size() + 1) * 2 > mSlots.size())
            grow();
        const std::size_t slot = slotOf(text);
        if (mSlots[slot] == 0) {
            mKeywords.push_back(Keyword{text});
            mSlots[slot] = static_cast<std::uint32_t>(mKeywords.size());
        }
        return mSlots[slot] - 1;
    }

    // The slot of the keyword of that text, or the free one it would take.
    std::size_t slotOf(const QString &text) const
    {
        const std::size_t mask = mSlots.size() - 1;
        std::size_t slot = qHash(text) & mask;
        while (mSlots[slot] != 0 && mKeywords[mSlots[slot] - 1].text != text)
            slot = (slot + 1) & mask;
        return slot;
    }

    void grow()
    {
        mSlots.assign(std::max<std::size_t>(1024, mSlots.size() * 2), 0);
        const std::size_t mask = mSlots.size() - 1;
        for (std::size_t i = 0; i < mKeywords.size(); ++i) {
            std::size_t slot = qHash(mKeywords[i].text) & mask;
            while (mSlots[slot] != 0)
                slot = (slot + 1) & mask;
            mSlots[slot] = static_cast<std::uint32_t>(i + 1);
        }
    }

    std::uint32_t labelNumber(const QString &label)
    {
        if (label.isEmpty())
            return 0;
        // Labels come in runs: an index page's entries, a page's terms.
        if (mLabels.back() != label)
            mLabels.push_back(label);
        return static_cast<std::uint32_t>(mLabels.size() - 1);
    }

    // Deques, as a large site has a hundred thousands keywords: a vector
    // would hold them twice while it grows.
    std::deque<Keyword> mKeywords;
    std::deque<Place> mPlaces;
    std::vector<std::uint32_t> mSlots;
    std::deque<QString> mLabels;
    std::deque<std::string> mKeptFragments;
    QStringList mFiles;
    QHash<QString, std::uint32_t> mFileNumbers; // made when a link needs it
};

} // namespace quorlix::pipeline
