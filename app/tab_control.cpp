#include "app/tab_control.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace quillon {

namespace {

// Tabs of equal width across the whole strip, whatever their captions.
class EqualTabBar final : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override
    {
        const int tabs = count();
        if (tabs == 0) return QTabBar::tabSizeHint(index);
        // The last tab takes what integer division leaves over.
        const int width = this->width() / tabs;
        const int last = this->width() - width * (tabs - 1);
        return QSize(index == tabs - 1 ? last : width, TabControl::kStripHeight);
    }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};

}  // namespace

TabControl::TabControl(const QStringList& captions, const QRect& geometry, QWidget* parent)
    : QWidget(parent), tabBar_(new EqualTabBar(this))
{
    setGeometry(geometry);
    tabBar_->setDrawBase(false);
    tabBar_->setUsesScrollButtons(false);
    tabBar_->setExpanding(false);
    tabBar_->setElideMode(Qt::ElideRight);
    tabBar_->setFocusPolicy(Qt::TabFocus);
    for (const QString& caption : captions) {
        tabBar_->addTab(caption);
        auto* page = new QWidget(this);
        page->setObjectName(caption);
        pages_.push_back(page);
    }
    tabBar_->raise();
    // A hidden widget gets its resize event only when shown; the pages'
    // controls are placed before that.
    LayOutChildren();
    connect(tabBar_, &QTabBar::currentChanged, this, &TabControl::ShowPage);
    ShowPage(tabBar_->currentIndex());
}

QWidget* TabControl::Page(int tab) const
{
    return pages_.at(static_cast<std::size_t>(tab));
}

int TabControl::CurrentTab() const
{
    return tabBar_->currentIndex();
}

void TabControl::SetCurrentTab(int tab)
{
    tabBar_->setCurrentIndex(tab);
}

void TabControl::ShowPage(int tab)
{
    for (std::size_t i = 0; i < pages_.size(); ++i)
        pages_[i]->setVisible(static_cast<int>(i) == tab);
}

void TabControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = QRect(0, kStripHeight - 1, width(), height() - kStripHeight + 1);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = tabBar_->size();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

void TabControl::resizeEvent(QResizeEvent*)
{
    LayOutChildren();
}

void TabControl::LayOutChildren()
{
    tabBar_->setGeometry(0, 0, width(), kStripHeight);
    for (QWidget* page : pages_) page->setGeometry(rect());
}

}  // namespace quillon
