// Links dropped onto the viewer's window: an address as text, or a list of URLs from a browser
// or a file manager. A drop that carries an archive's address opens it as if it had been typed
// into the URL bar; anything else is refused, so that the cursor shows it cannot be dropped.
#pragma once

#include <QString>

class QDropEvent;
class QMimeData;

namespace linkdrop {

// The address to open: the first http, https or ftp URL, or the first local zip file, of a URL
// list; otherwise a text that is one such address. Empty when the drop holds none.
QString addressIn(const QMimeData& data);

// Accepts the drop, as a copy where the source offers one (a file manager must never move
// the user's file away), when it holds an address. Returns that address.
QString acceptIfLink(QDropEvent& event);

} // namespace linkdrop
