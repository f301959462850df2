#pragma once

#include <QIcon>
#include <QString>

namespace plimsy::TemplateImage {

// The resource image ":/images/<name>.svg", or a null icon when there is none.
QIcon named(const QString &name);

// The same image drawn as a template: its shape in the palette's text colour, so it reads on light and
// dark panels alike. A null icon when the resource is missing.
QIcon templateNamed(const QString &name);

} // namespace plimsy::TemplateImage
