// Draws the program icon (tr805q-<size>.png) with QPainter; not part of the build. To redraw:
// build it against Qt6::Gui and run it with the folder to write to as its argument.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

static void Draw(QPainter& p, int s) {
    p.setRenderHint(QPainter::Antialiasing);
    const double u = s / 64.0;
    // Board: a rounded green circuit board.
    QRectF board(2 * u, 2 * u, 60 * u, 60 * u);
    QLinearGradient g(board.topLeft(), board.bottomRight());
    g.setColorAt(0, QColor(0x2e, 0x8b, 0x57));
    g.setColorAt(1, QColor(0x1b, 0x5e, 0x3a));
    p.setPen(QPen(QColor(0x10, 0x3d, 0x25), 1.5 * u));
    p.setBrush(g);
    p.drawRoundedRect(board, 9 * u, 9 * u);
    // Traces from the chip to the board's edge connector.
    p.setPen(QPen(QColor(0xd4, 0xaf, 0x37), 2.2 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (int i = 0; i < 3; ++i) {
        double y = (26 + i * 6) * u;
        QPainterPath path;
        path.moveTo(46 * u, y);
        path.lineTo(52 * u, y);
        path.lineTo(55 * u, y + (i - 1) * 4 * u);
        p.drawPath(path);
        p.drawEllipse(QPointF(55 * u, y + (i - 1) * 4 * u), 1.6 * u, 1.6 * u);
    }
    // Chip with pins.
    p.setPen(QPen(QColor(0xc0, 0xc0, 0xc0), 2 * u, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < 4; ++i) {
        double x = (19 + i * 7) * u;
        p.drawLine(QPointF(x, 13 * u), QPointF(x, 18 * u));
        p.drawLine(QPointF(x, 46 * u), QPointF(x, 51 * u));
        double y = (21 + i * 7) * u;
        p.drawLine(QPointF(10 * u, y), QPointF(15 * u, y));
    }
    p.setPen(QPen(QColor(0x11, 0x11, 0x11), 1 * u));
    p.setBrush(QColor(0x26, 0x26, 0x2b));
    p.drawRoundedRect(QRectF(15 * u, 18 * u, 31 * u, 28 * u), 2.5 * u, 2.5 * u);
    // Pin-1 dot and a pulse on the chip: the bus it drives.
    p.setBrush(QColor(0x80, 0x80, 0x88));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(19 * u, 22 * u), 1.5 * u, 1.5 * u);
    QPainterPath wave;
    wave.moveTo(18 * u, 37 * u);
    wave.lineTo(23 * u, 37 * u);
    wave.lineTo(23 * u, 29 * u);
    wave.lineTo(29 * u, 29 * u);
    wave.lineTo(29 * u, 37 * u);
    wave.lineTo(34 * u, 37 * u);
    wave.lineTo(34 * u, 29 * u);
    wave.lineTo(40 * u, 29 * u);
    wave.lineTo(40 * u, 37 * u);
    wave.lineTo(43 * u, 37 * u);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x4f, 0xd1, 0xff), 2.2 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    for (int s : {16, 32, 48, 256}) {
        QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        Draw(p, s);
        p.end();
        img.save(QString("%1/tr805q-%2.png").arg(argv[1]).arg(s));
    }
}
