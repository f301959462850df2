#pragma once

#include <QMetaType>
#include <QUrl>

namespace plimsy {

// What a site-monitor log-file item opens; the action reads it back from the clicked item.
template <typename File> struct FileMenuRepresenter
{
    File file;
};

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::FileMenuRepresenter<QUrl>)
