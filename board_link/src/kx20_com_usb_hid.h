// The board object: one connected evaluation board. KestoCommunication gives
// connection handling, register and sub-register access with optional
// read-back verification, the last error and the Qt signals; KX20Com_UsbHid
// owns the HID driver and the command channel and sends board commands.
//
// No signal is connected inside the library. Signals are emitted after the
// register mutex is released. Lock order: register mutex, then the channel's.
#ifndef BOARD_LINK_KX20_COM_USB_HID_H
#define BOARD_LINK_KX20_COM_USB_HID_H

#include "command_channel.h"
#include "hid_com_driver.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace board_link {

// Access codes of the long dataChanged.
inline constexpr uchar kAccessRead = 0;
inline constexpr uchar kAccessWrite = 1;
inline constexpr uchar kAccessModify = 2;
inline constexpr uchar kAccessCommand = 3;
inline constexpr uchar kAccessPage = 4;

class KestoCommunication : public QObject {
    Q_OBJECT
  public:
    ~KestoCommunication() override = default;

    virtual int writeRegister(uchar reg, uchar value, bool verify, bool notify);
    virtual int writeSubRegister(uchar reg, uchar value, uchar subreg, bool verify, bool notify);
    virtual int modifySubRegister(uchar reg, uchar mask, uchar value, uchar subreg, bool verify, bool notify);
    virtual void setPageRegister(std::uint16_t reg, uchar mask);
    virtual int readRegister(uchar reg, uchar& value, bool notify);
    virtual int readSubRegister(uchar reg, uchar& value, uchar subreg, bool notify);
    virtual int modifyRegister(uchar reg, uchar mask, uchar value, bool verify, bool notify);
    virtual int connect(const char* path);
    virtual int connect();
    virtual void disconnect();
    virtual bool isConnected() const { return connected_.load(); }
    virtual int command(const QString& text);
    virtual int reserved() { return 0; }
    virtual void reservedA(int) = 0;
    virtual void reservedB(int) {}
    virtual void notifySubRegisterChanged(uchar reg, uchar subreg, uchar value);
    virtual void notifyRegisterChanged(uchar reg, uchar value);
    virtual QString errorText() const;

    int lastError() const { return lastError_.load(); }

  public slots:
    virtual void deviceNodeChanged();

  signals:
    void beforeDisconnect();
    void connectionChanged(bool isConnected);
    void dataChanged(uchar reg, uchar subreg, bool isSubreg, uchar value);
    void dataChanged(uchar reg, uchar subreg, bool isSubreg, uchar mask, uchar value, uchar access, int err,
                     QString any);

  protected:
    KestoCommunication() = default;

    virtual int readRegisterLow(uchar reg, uchar& value) = 0;
    virtual int writeRegisterLow(uchar reg, uchar value) = 0;
    virtual int commandLow(const QString& text) = 0;
    virtual int openDevice(const char* path) = 0;
    virtual int openDevice() = 0;
    virtual bool closeDevice() = 0;
    virtual bool isBoardAlive() = 0;
    // After a connect that succeeded.
    virtual void afterConnect() {}

  private:
    int finishConnect(int result);
    // Page selection: R(P), W(P, page); returns the first failure.
    int selectPage(uchar subreg, uchar& page);

    std::atomic<bool> connected_{false};
    std::mutex registerMutex_;
    std::uint16_t pageRegister_ = 0;
    uchar pageMask_ = 0;
    std::atomic<int> lastError_{0};
};

class KX20Com_UsbHid : public KestoCommunication {
    Q_OBJECT
  public:
    explicit KX20Com_UsbHid(const BoardVariant& variant = kKx20Board,
                            std::uint16_t vendorId = KESTO_VENDOR_ID);
    ~KX20Com_UsbHid() override;

    void reservedA(int) override {}
    virtual QString firmwareText() const;
    virtual QString statusName(int code) const;

    void getBoardInfo();
    int getObvsMode(int& first, int& second);
    int takeLinkErrors();
    // Returns the board status; `answer` gets every answer byte the board sent.
    std::uint8_t sendBoardCommand(std::uint8_t command, const std::vector<std::uint8_t>& parameters,
                                  int expectedAnswerLength, std::vector<std::uint8_t>& answer);

    KXx0HidComDriver& driver() { return driver_; }
    CommandChannel& channel() { return channel_; }
    const BoardVariant& variant() const { return variant_; }
    // Emits communicationErrorMessage "<prefix><operation> : <text>".
    void reportShortAnswer(const char* operation, const char* text);
    // Emits communicationErrorMessage `text` as it stands.
    void reportMessage(const QString& text);

  signals:
    void communicationErrorMessage(QString message);

  protected:
    int readRegisterLow(uchar reg, uchar& value) override;
    int writeRegisterLow(uchar reg, uchar value) override;
    int commandLow(const QString& text) override;
    int openDevice(const char* path) override;
    int openDevice() override;
    bool closeDevice() override;
    bool isBoardAlive() override;
    void afterConnect() override { getBoardInfo(); }

  private:
    QString message(const char* operation) const;
    // The driver's ping on the open channel: 0 or -7 (the ping's read error cleared).
    int pingBoard();

    const BoardVariant& variant_;
    KXx0HidComDriver driver_;
    CommandChannel channel_;
    mutable std::mutex textMutex_;
    QString firmwareText_;
};

// The first board's object: the same board class on the first board's variant.
class KX10Communication : public KX20Com_UsbHid {
    Q_OBJECT
  public:
    KX10Communication() : KX20Com_UsbHid(kKx10Board) {}
};

} // namespace board_link

#endif
