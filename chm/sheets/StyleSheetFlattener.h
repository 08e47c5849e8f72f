#pragma once

// A style sheet as the help file stores it. kchmviewer applies no sheet that
// is reached through @import, and resolves url() inside a sheet against the
// page that uses it rather than against the sheet. So the stored copy has
// every @import replaced by the imported sheet's text, and every relative
// url() written from the help file's root ("/site/_static/a.png"), which
// kchmviewer, browsers and Windows' viewer all resolve to the same file.
// The saved site on disk is not changed.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorlix::chm {

// Whether the file stored under name ("/site/_static/b.css", or
// "b.css@v=2" as a sheet with a query is saved) is a style sheet: the help
// file stores its flattened copy, not the bytes as saved.
bool isStyleSheetName(std::string_view name);

// The text of the sheet stored under name ("/site/_static/b.css"), or nothing
// when the help file holds no such sheet.
using SheetReader = std::function<std::optional<std::string>(const std::string &name)>;

// The sheets of one help file, flattened one after another. A sheet stored
// under name, with text as saved, becomes:
// - each @import of a sheet that read returns is replaced by that sheet's
//   text, flattened the same way, inside "@media ... { }" when the import
//   names media; a sheet comes in at most once, so cycles end;
// - relative url() values are rebased to the help file's root from the sheet
//   whose text they are in; absolute, root-relative and data: values stay;
// - one @charset at most, first.
//
// What that adds to the sheets comes out of one budget for the help file,
// so that the help file stays within a few times the site's size whatever
// the site: a large sheet imported by a thousand others, or a chain of
// thousands of imports, would otherwise be copied over and over. Past the
// budget an @import stays as written (its address from the root), and a
// sheet whose addresses alone would pass it is stored as saved. Each
// imported sheet is read and parsed once, so the work grows with the sheets
// and the budget, not with the square of a chain's length.
class StyleSheetFlattener {
public:
    // Flattening adds 54 kB to the sheets of Python's documentation, 15 kB
    // to a Sphinx site's and 120 bytes to Doxygen's; sixteen megabytes is far
    // past what a real site's imports add, and small beside a help file.
    static constexpr std::uint64_t kBudget = 16'000'000;
    // Real themes nest imports three or four deep.
    static constexpr int kDeepestImport = 32;

    explicit StyleSheetFlattener(SheetReader read, std::uint64_t budget = kBudget);
    ~StyleSheetFlattener();
    StyleSheetFlattener(const StyleSheetFlattener &) = delete;
    StyleSheetFlattener &operator=(const StyleSheetFlattener &) = delete;

    std::string flatten(const std::string &name, std::string_view text);

    // How many sheets kept an @import or their addresses as written because
    // the budget was spent.
    std::uint64_t sheetsCut() const;

private:
    struct State;
    std::unique_ptr<State> mState;
};

// One sheet flattened with no budget.
std::string flattenStyleSheet(const std::string &name, std::string_view text, const SheetReader &read);

// ref ("../img/a.png?v=2") as an address from the help file's root, for a
// file stored under name ("/site/_static/theme.css"): "/site/img/a.png?v=2".
// Nothing when ref is not relative or climbs above the root.
std::optional<std::string> rootRelativeAddress(const std::string &name, std::string_view ref);

} // namespace quorlix::chm
