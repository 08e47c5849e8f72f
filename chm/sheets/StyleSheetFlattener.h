#pragma once

// A style sheet as the help file stores it. kchmviewer applies no sheet that
// is reached through @import, and resolves url() inside a sheet against the
// page that uses it rather than against the sheet. So the stored copy has
// every @import replaced by the imported sheet's text, and every relative
// url() written from the help file's root ("/site/_static/a.png"), which
// kchmviewer, browsers and Windows' viewer all resolve to the same file.
// The saved site on disk is not changed.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorlix::chm {

// The text of the sheet stored under name ("/site/_static/b.css"), or nothing
// when the help file holds no such sheet.
using SheetReader = std::function<std::optional<std::string>(const std::string &name)>;

// The sheet stored under name, with text as saved:
// - each @import of a sheet that read returns is replaced by that sheet's
//   text, flattened the same way, inside "@media ... { }" when the import
//   names media; a sheet comes in at most once, so cycles end;
// - relative url() values are rebased to the help file's root from the sheet
//   whose text they are in; absolute, root-relative and data: values stay;
// - one @charset at most, first.
std::string flattenStyleSheet(const std::string &name, std::string_view text, const SheetReader &read);

// ref ("../img/a.png?v=2") as an address from the help file's root, for a
// file stored under name ("/site/_static/theme.css"): "/site/img/a.png?v=2".
// Nothing when ref is not relative or climbs above the root.
std::optional<std::string> rootRelativeAddress(const std::string &name, std::string_view ref);

} // namespace quorlix::chm
