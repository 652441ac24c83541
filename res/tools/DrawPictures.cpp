// Draws every picture of the viewer into PNG files (run by scripts/make-pictures).
// The pictures are simple shapes so that they stay legible at 16 and 32 pixels.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

const QColor kGreen(46, 125, 50);
const QColor kLightGreen(149, 206, 153);
const QColor kListGreen(207, 233, 209);
const QColor kPaper(250, 250, 245);
const QColor kInk(40, 50, 45);
const QColor kBlue(33, 100, 180);

using Drawing = std::function<void(QPainter&, double)>;

bool save(const QString& folder, const QString& name, int width, int height, const Drawing& draw) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, width / 32.0);
    painter.end();
    const QString path = folder + "/" + name;
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// A sheet of paper with a folded corner and a zipper down its middle.
void zipSheet(QPainter& p, QRectF r) {
    QPainterPath sheet;
    const double fold = r.width() * 0.3;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(QPen(kInk, std::max(1.0, r.width() / 24)));
    p.setBrush(kPaper);
    p.drawPath(sheet);
    const double x = r.center().x();
    const double tooth = r.height() / 12;
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    for (int i = 1; i < 8; ++i) {
        const double y = r.top() + i * tooth;
        p.drawRect(QRectF(i % 2 ? x - tooth : x, y, tooth, tooth * 0.8));
    }
    p.drawRoundedRect(QRectF(x - tooth, r.top() + 8 * tooth, 2 * tooth, 2.5 * tooth), 1, 1);
}

void globe(QPainter& p, QRectF r) {
    p.setPen(QPen(kBlue, std::max(1.0, r.width() / 14)));
    p.setBrush(QColor(200, 225, 250));
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(r.width() * 0.3, 0, -r.width() * 0.3, 0));
    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
}

void arrow(QPainter& p, QPointF from, QPointF to, QColor colour, double width) {
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const double head = width * 2.2;
    QPolygonF tip;
    tip << to + QPointF(std::cos(angle) * head, std::sin(angle) * head)
        << to + QPointF(std::cos(angle + 2.2) * head, std::sin(angle + 2.2) * head)
        << to + QPointF(std::cos(angle - 2.2) * head, std::sin(angle - 2.2) * head);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(tip);
}

void appIcon(QPainter& p, double s) {
    p.setPen(Qt::NoPen);
    QLinearGradient back(0, 0, 0, 32 * s);
    back.setColorAt(0, kLightGreen);
    back.setColorAt(1, kGreen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(1 * s, 1 * s, 30 * s, 30 * s), 6 * s, 6 * s);
    zipSheet(p, QRectF(7 * s, 4 * s, 18 * s, 24 * s));
    globe(p, QRectF(16 * s, 16 * s, 13 * s, 13 * s));
}

void gear(QPainter& p, double s) {
    p.translate(16 * s, 16 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 100, 110));
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-2.5 * s, -14 * s, 5 * s, 6 * s));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 10 * s, 10 * s);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(0, 0), 4 * s, 4 * s);
}

void roundSign(QPainter& p, double s, QColor colour, const QString& glyph) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(2 * s, 2 * s, 28 * s, 28 * s));
    QFont font;
    font.setBold(true);
    font.setPixelSize(int(20 * s));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, 32 * s, 32 * s), Qt::AlignCenter, glyph);
}

void triangle(QPainter& p, bool up) {
    QPolygonF shape;
    if (up)
        shape << QPointF(1, 7) << QPointF(9, 7) << QPointF(5, 2);
    else
        shape << QPointF(1, 3) << QPointF(9, 3) << QPointF(5, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 80, 75));
    p.drawPolygon(shape);
}

void emptyList(QPainter& p) {
    p.fillRect(QRect(0, 0, 358, 129), kListGreen);
    globe(p, QRectF(22, 36, 52, 52));
    arrow(p, QPointF(84, 62), QPointF(128, 62), kGreen, 4);
    zipSheet(p, QRectF(142, 26, 46, 66));
    QFont title;
    title.setBold(true);
    title.setPixelSize(17);
    p.setFont(title);
    p.setPen(kGreen);
    p.drawText(QRectF(200, 30, 156, 24), Qt::AlignLeft | Qt::AlignVCenter, "No zip file open");
    QFont body;
    body.setPixelSize(12);
    p.setFont(body);
    p.setPen(kInk);
    p.drawText(QRectF(200, 56, 154, 50), Qt::AlignLeft | Qt::TextWordWrap,
               "Type the address of a remote zip file above and press Open.");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    bool ok = true;
    for (int size : {16, 32, 64, 128})
        ok &= save(folder, QString("app%1.png").arg(size), size, size, appIcon);
    ok &= save(folder, "open.png", 32, 32, [](QPainter& p, double s) {
        globe(p, QRectF(2 * s, 2 * s, 20 * s, 20 * s));
        arrow(p, QPointF(14 * s, 16 * s), QPointF(26 * s, 27 * s), kGreen, 3 * s);
    });
    ok &= save(folder, "save.png", 32, 32, [](QPainter& p, double s) {
        p.setPen(QPen(kInk, 2 * s));
        p.setBrush(kLightGreen);
        p.drawRect(QRectF(4 * s, 20 * s, 24 * s, 9 * s));
        arrow(p, QPointF(16 * s, 2 * s), QPointF(16 * s, 16 * s), kBlue, 4 * s);
    });
    ok &= save(folder, "extract.png", 32, 32, [](QPainter& p, double s) {
        zipSheet(p, QRectF(3 * s, 3 * s, 17 * s, 24 * s));
        arrow(p, QPointF(16 * s, 20 * s), QPointF(27 * s, 27 * s), kBlue, 3 * s);
    });
    ok &= save(folder, "close.png", 32, 32, [](QPainter& p, double s) {
        zipSheet(p, QRectF(4 * s, 3 * s, 18 * s, 25 * s));
        p.setPen(QPen(QColor(190, 40, 40), 4 * s, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19 * s, 17 * s), QPointF(28 * s, 26 * s));
        p.drawLine(QPointF(28 * s, 17 * s), QPointF(19 * s, 26 * s));
    });
    ok &= save(folder, "settings.png", 32, 32, gear);
    ok &= save(folder, "help.png", 32, 32,
               [](QPainter& p, double s) { roundSign(p, s, kBlue, "?"); });
    ok &= save(folder, "about.png", 32, 32,
               [](QPainter& p, double s) { roundSign(p, s, kGreen, "i"); });
    ok &= save(folder, "sort-up.png", 10, 10, [](QPainter& p, double) { triangle(p, true); });
    ok &= save(folder, "sort-down.png", 10, 10, [](QPainter& p, double) { triangle(p, false); });
    for (int size : {16, 32})
        ok &= save(folder, QString("file%1.png").arg(size), size, size, [](QPainter& p, double s) {
            p.setPen(QPen(kInk, std::max(1.0, s)));
            p.setBrush(kPaper);
            p.drawRect(QRectF(6 * s, 3 * s, 20 * s, 26 * s));
            p.setPen(QPen(QColor(150, 160, 155), std::max(1.0, s)));
            for (int line = 0; line < 4; ++line)
                p.drawLine(QPointF(10 * s, (10 + 5 * line) * s),
                           QPointF(22 * s, (10 + 5 * line) * s));
        });
    ok &= save(folder, "empty-list.png", 358, 129, [](QPainter& p, double) { emptyList(p); });
    return ok ? 0 : 1;
}
