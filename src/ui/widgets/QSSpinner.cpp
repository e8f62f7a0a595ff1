#include "ui/widgets/QSSpinner.h"

#include "config/QSConfigProvider.h"
#include "ui/accessibility/QSAccessibility.h"

#include <QPainter>
#include <QVariantAnimation>

QSSpinner::QSSpinner(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    // The caption beside it says "Connecting"; the turning picture adds nothing to hear.
    QSAccessibility::setDecorative(this);
    animation_ = new QVariantAnimation(this);
    animation_->setStartValue(0.0);
    animation_->setEndValue(360.0);
    animation_->setDuration(kTurnMilliseconds);
    animation_->setEasingCurve(QEasingCurve::Linear);
    animation_->setLoopCount(-1);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        angle_ = value.toReal();
        update();
    });
}

QString QSSpinner::imageNameForPortal(const QString &portalType)
{
    const QString suffix = portalType == QLatin1String("qs") ? QString() : portalType;
    return QStringLiteral("connecting_Spinner%1").arg(suffix);
}

void QSSpinner::setUpImage()
{
    setUp_ = true;
    const QString name = imageNameForPortal(QSConfigProvider::getPortalType());
    image_ = QSImage::named(name);
    // A portal without artwork of its own still gets a spinner.
    if (image_.isNull())
        image_ = QSImage::named(imageNameForPortal(QStringLiteral("qs")));
    if (image_.isNull())
        return;
    const qreal scale = devicePixelRatioF();
    cache_ = QPixmap(QSize(kImageSize, kImageSize) * scale);
    cache_.setDevicePixelRatio(scale);
    cache_.fill(Qt::transparent);
    QPainter painter(&cache_);
    painter.setRenderHint(QPainter::Antialiasing);
    image_.paint(painter, QRectF(0, 0, kImageSize, kImageSize));
}

void QSSpinner::startRefreshAnimation()
{
    if (animation_->state() != QAbstractAnimation::Running)
        animation_->start();
}

bool QSSpinner::isTurning() const
{
    return animation_->state() == QAbstractAnimation::Running;
}

QSize QSSpinner::sizeHint() const
{
    return QSize(kImageSize, kImageSize);
}

void QSSpinner::paintEvent(QPaintEvent *)
{
    if (!setUp_) {
        setUpImage();
        startRefreshAnimation();
    }
    if (cache_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The image sits at the origin and the whole spinner turns about its centre.
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.rotate(angle_);
    painter.translate(-centre);
    painter.drawPixmap(QPointF(0, 0), cache_);
}

void QSSpinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (setUp_ && animation_->state() == QAbstractAnimation::Paused)
        animation_->resume();
}

void QSSpinner::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (animation_->state() == QAbstractAnimation::Running)
        animation_->pause();
}
