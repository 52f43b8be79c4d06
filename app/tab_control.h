// A tab control whose pages span the whole control, tab strip included, so
// that the controls of a page are placed from the control's outer top-left
// corner. Tabs share the strip's width equally.
#pragma once

#include <QWidget>
#include <vector>

class QTabBar;

namespace quillon {

class TabControl final : public QWidget {
    Q_OBJECT

public:
    // `geometry` in the parent's pixels; the pages take its whole size.
    TabControl(const QStringList& captions, const QRect& geometry, QWidget* parent = nullptr);

    // The page of a tab: the parent of that tab's controls.
    QWidget* Page(int tab) const;
    int CurrentTab() const;
    void SetCurrentTab(int tab);
    QTabBar* TabBar() const { return tabBar_; }

    // Height of the tab strip in pixels; the first row of a page sits below.
    static constexpr int kStripHeight = 21;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowPage(int tab);
    void LayOutChildren();

    QTabBar* tabBar_;
    std::vector<QWidget*> pages_;
};

}  // namespace quillon
