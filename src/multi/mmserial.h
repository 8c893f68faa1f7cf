// The serial page "MultiMenuSerial": the port and the line speed of a
// null-modem cable, then Create Game on one machine and Join Game on the
// other, both going on to the staging page. The choice is kept in the
// configuration's SerialSettings and preselected on the next visit.
//
// The ports offered are the paths of SetSerialPorts (";" between them),
// then the serial devices present (/dev/ttyS*, ttyUSB*, ttyACM* with a
// device behind them), in name order.
#pragma once

#include "widgets/qiitem.h"
#include "widgets/qistring.h"
#include "widgets/qiwidget.h"

class QIList;

// A row of either list: a port's path or a speed, centred.
class MMScrollSerial : public QIGraphic {
public:
    const QIFont* font;
    QIString text;
    int32_t width;

    MMScrollSerial(const QIFont* f, const char* t, int32_t rowWidth);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    int Width(void) override { return width; }
    int Height(void) override;
};

void MM_serial_init(QIWidget* backdrop);
QIWidget* MM_serial_page(void);
void MM_serial_forget(void);
// Fills both lists, preselects the configured port (exact match) and speed
// ("9600" when it is none of the list's); 1.
int MM_serial_start(void);
int MM_serial_back(QIWidget* widget, int code, QIARG arg);
int MM_serial_main(QIWidget* widget, int code, QIARG arg);
// Open the chosen port at the chosen speed and host, or join the game on
// the other end (5 s); a failure shows its box and closes the network, so
// the next attempt opens the port then chosen.
int MM_serial_create(QIWidget* widget, int code, QIARG arg);
int MM_serial_join(QIWidget* widget, int code, QIARG arg);
// The lists (tests); null outside the menus.
QIList* MM_serial_ports(void);
QIList* MM_serial_speeds(void);
