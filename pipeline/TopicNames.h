#pragma once

// The names pages go by in the contents and the index.

#include "pipeline/SavedPages.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

class TopicNames {
public:
    // Most sites end every title with their own name ("Usage - Foo 2.1
    // documentation", "Usage (Foo 2.1)") or begin it so ("Foo: Usage"); in
    // a help file of that one site it says nothing, so when most titled
    // pages among files share such an ending or beginning it is left off.
    TopicNames(const QStringList &files, const SavedPages &pages);

    // The page's title, else its first <h1>, else its file name. A title
    // that other pages have too ("Index" on every letter of a site's index)
    // gives way to the page's first <h1> ("Index – A") when that differs.
    QString name(const QString &file) const;
    // The page's title alone; "" when it has none.
    QString title(const QString &file) const;
    // The ending left off, with its separator; "" when none is.
    const QString &siteEnding() const { return mEnding; }
    // The beginning left off, with its colon; "" when none is.
    const QString &siteBeginning() const { return mBeginning; }

private:
    const SavedPages &mPages;
    QString mEnding;
    QString mBeginning;
    QSet<std::size_t> mSharedTitles; // hashes of the titles several pages have, as title() gives them
};

} // namespace quorlix::pipeline
