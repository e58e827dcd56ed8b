#pragma once
// The main window.

#include <QMainWindow>

namespace kestrow::gui {

class frmKestrow : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmKestrow(QWidget* parent = nullptr);
};

} // namespace kestrow::gui
