#pragma once

#include <QIcon>
#include <QString>

namespace plimsy::TemplateImage {

// The resource image ":/images/<name>.svg", or a null icon when there is none.
QIcon named(const QString &name);

// The same image drawn as a template: its shape in the palette's text colour, for menus and windows,
// whose palette it follows. A null icon when the resource is missing.
QIcon templateNamed(const QString &name);

// The same image for a panel whose colour the application cannot know: its shape in near-white inside a
// near-black edge, which reads on dark and light panels alike. A null icon when the resource is missing.
QIcon outlinedNamed(const QString &name);

} // namespace plimsy::TemplateImage
