#include "pipeline/ContentsTree.h"

#include "pipeline/KeywordText.h"

#include <QHash>
#include <QMap>

namespace quorlix::pipeline {

namespace {

QString groupOf(const QString &name)
{
    for (const QChar c : name)
        if (c.isLetterOrNumber())
            return c.isLetter() ? QString(c.toUpper()) : QStringLiteral("#");
    return QStringLiteral("#");
}

std::vector<ContentsNode> inParts(const QString &name, std::vector<ContentsNode> nodes, std::size_t most)
{
    if (nodes.size() <= most)
        return {ContentsNode{name, {}, std::move(nodes)}};
    std::vector<ContentsNode> parts;
    for (std::size_t start = 0; start < nodes.size(); start += most) {
        ContentsNode part{QStringLiteral("%1 (%2)").arg(name).arg(parts.size() + 1), {}, {}};
        const std::size_t end = std::min(nodes.size(), start + most);
        part.children.assign(std::make_move_iterator(nodes.begin() + static_cast<std::ptrdiff_t>(start)),
                             std::make_move_iterator(nodes.begin() + static_cast<std::ptrdiff_t>(end)));
        parts.push_back(std::move(part));
    }
    return parts;
}

// A list that splitting by letter leaves in its order and that reads as
// sorted by name (allowing for another collation here and there): a list
// of names to look up, not a sequence of the site's own.
bool sortedByName(const std::vector<ContentsNode> &nodes)
{
    constexpr std::size_t kPairsPerDisorder = 10;
    std::size_t disorder = 0;
    QString group = groupOf(nodes.front().name);
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        const QString next = groupOf(nodes[i].name);
        if (next < group)
            return false;
        group = next;
        disorder += NaturalCompare(nodes[i - 1].name, nodes[i].name) > 0;
    }
    return disorder * kPairsPerDisorder < nodes.size();
}

// Consecutive runs of at most most entries (runs of runs beyond most
// squared), as even as can be, each named by its first and last entry.
std::vector<ContentsNode> inRuns(std::vector<ContentsNode> nodes, std::size_t most)
{
    if (nodes.size() <= most)
        return nodes;
    std::size_t span = most;
    while ((nodes.size() + span - 1) / span > most)
        span *= most;
    const std::size_t runs = (nodes.size() + span - 1) / span;
    std::vector<ContentsNode> out;
    for (std::size_t run = 0, begin = 0; run < runs; ++run) {
        const std::size_t end = nodes.size() * (run + 1) / runs;
        const QString &first = nodes[begin].name, &last = nodes[end - 1].name;
        ContentsNode part{first == last ? first : first + QStringLiteral(" \u2013 ") + last, {}, {}};
        part.children.assign(std::make_move_iterator(nodes.begin() + static_cast<std::ptrdiff_t>(begin)),
                             std::make_move_iterator(nodes.begin() + static_cast<std::ptrdiff_t>(end)));
        part.children = inRuns(std::move(part.children), most);
        out.push_back(std::move(part));
        begin = end;
    }
    return out;
}

} // namespace

void NestCompanionPages(std::vector<ContentsNode> &nodes)
{
    for (ContentsNode &node : nodes)
        NestCompanionPages(node.children);
    auto stemOf = [](const QString &local) {
        if (local.isEmpty() || local.contains(QLatin1Char('#')))
            return QString();
        const qsizetype dot = local.lastIndexOf(QLatin1Char('.'));
        return dot > local.lastIndexOf(QLatin1Char('/')) ? local.left(dot) : local;
    };
    QHash<QString, std::size_t> byStem;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (const QString stem = stemOf(nodes[i].local); !stem.isEmpty())
            byStem.insert(stem, i);
    std::vector<std::size_t> parentOf(nodes.size(), nodes.size());
    bool any = false;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const QString stem = stemOf(nodes[i].local);
        // Not the last character: "genindex-_" is the part of "genindex" for "_".
        const qsizetype dash = std::max(stem.lastIndexOf(QLatin1Char('-'), -2), stem.lastIndexOf(QLatin1Char('_'), -2));
        if (dash <= stem.lastIndexOf(QLatin1Char('/')) + 1)
            continue;
        const auto parent = byStem.constFind(stem.left(dash));
        if (parent != byStem.cend() && *parent != i && stemOf(nodes[*parent].local).size() < dash + 1)
            parentOf[i] = *parent, any = true;
    }
    if (!any)
        return;
    std::vector<ContentsNode> kept;
    std::vector<std::size_t> keptIndex(nodes.size(), 0);
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (parentOf[i] == nodes.size() || parentOf[parentOf[i]] != nodes.size()) {
            keptIndex[i] = kept.size();
            kept.push_back(std::move(nodes[i]));
            parentOf[i] = nodes.size();
        }
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (parentOf[i] != nodes.size())
            kept[keptIndex[parentOf[i]]].children.push_back(std::move(nodes[i]));
    nodes = std::move(kept);
}

void SplitLongLists(std::vector<ContentsNode> &nodes, std::size_t most)
{
    for (ContentsNode &node : nodes)
        SplitLongLists(node.children, most);
    if (nodes.size() <= most)
        return;
    // The site's own order (versions newest first, chapters) is kept whole.
    if (!sortedByName(nodes)) {
        nodes = inRuns(std::move(nodes), most);
        return;
    }
    // Letters in order, "#" first, each keeping the order its entries came in.
    QMap<QString, std::vector<ContentsNode>> groups;
    for (ContentsNode &node : nodes)
        groups[groupOf(node.name)].push_back(std::move(node));
    std::vector<ContentsNode> split;
    for (auto it = groups.begin(); it != groups.end(); ++it)
        for (ContentsNode &part : inParts(it.key(), std::move(it.value()), most))
            split.push_back(std::move(part));
    // More groups than fit (an alphabet beyond 250 letters) in numbered parts.
    nodes = split.size() > most ? inParts(QStringLiteral("Part"), std::move(split), most) : std::move(split);
}

} // namespace quorlix::pipeline
