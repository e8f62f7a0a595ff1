#pragma once
// The product's only window: its name in large type and the arguments it was launched with.

#include <QWidget>

namespace corvala {

class ProductWindow : public QWidget {
    Q_OBJECT
public:
    explicit ProductWindow(const QStringList &arguments, QWidget *parent = nullptr);
};

}  // namespace corvala
