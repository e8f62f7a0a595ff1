#pragma once
// The onboarding page images: one small illustration per page, drawn once at start-up at 1x, 2x
// and 3x and kept as PNG bytes. Names follow the installer's convention: page1.png, page1@2x.png,
// page1@3x.png.

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace demo {

class PageImages {
public:
    static constexpr QSize kPointSize{360, 220};
    static constexpr int kPageCount = 4;

    PageImages();

    // PNG bytes for a name such as "page2@3x.png"; nothing for an unknown name.
    std::optional<QByteArray> png(const QString &name) const;
    QStringList names() const;

    // Drawing of page `page` (1-based, wraps around) at `scale` pixels per point.
    static QImage render(int page, int scale);

private:
    QHash<QString, QByteArray> m_pngs;
};

}  // namespace demo
