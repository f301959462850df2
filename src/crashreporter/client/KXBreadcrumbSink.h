#pragma once

#include "crashreporter/model/KestrixBreadcrumb.h"

#include <QJsonObject>
#include <QString>

namespace kestrix {

// Where automatic breadcrumbs go: the client.
class KXBreadcrumbSink
{
public:
    virtual ~KXBreadcrumbSink() = default;
    virtual void leaveBreadcrumb(const QString &message, const QJsonObject &metadata, KestrixBreadcrumbType type) = 0;
};

} // namespace kestrix
