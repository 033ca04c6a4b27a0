package de.varek;

/**
 * A reader's information, as {@code VkdmKrnReader.ReadReaderInfo} builds it. The
 * isMode...Read flags say which of the reader's information modes were read; a
 * field of a mode that was not read keeps its value from the constructor.
 */
public class VkdmKrnReaderInfo {
    public boolean isMode0x00Read;
    public boolean isMode0x01Read;
    public boolean isMode0x02Read;
    public boolean isMode0x03Read;
    public boolean isMode0x04Read;
    public boolean isMode0x05Read;
    public boolean isMode0x06Read;
    public boolean isMode0x07Read;
    public boolean isMode0x08Read;
    public boolean isMode0x10Read;
    public boolean isMode0x11Read;
    public boolean isMode0x12Read;
    public boolean isMode0x40Read;
    public boolean isMode0x41Read;
    public boolean isMode0x60Read;
    public boolean isMode0x61Read;
    public boolean isMode0x80Read;
    public boolean isRfcFrequency;

    // mode 0x00
    public byte[] rfcSwVer;
    public byte rfcDevVer;
    public byte rfcHwType;
    public byte readerType;
    public byte[] rfcTrType;
    public byte[] rfcRxBufferSize;
    public byte[] rfcTxBufferSize;
    public byte[] rfcUhfTrType;
    // mode 0x01
    public byte[] accSwVer;
    public byte accDevVer;
    public byte accHwType;
    // mode 0x02
    public byte[] usbSwVer;
    public byte usbDevVer;
    public byte usbHwType;
    // mode 0x03
    public byte[] fpgaSwVer;
    public byte fpgaDevVer;
    public byte fpgaHwType;
    public byte[] decoderType;
    public byte selfTest;
    // mode 0x04
    public byte dlqFctTemplate;
    public byte dlqFctList0;
    public byte dlqFctList1;
    public byte dlqFctList2;
    public byte[] fwIdentifier;
    // mode 0x05
    public byte[] bootSwVer;
    // mode 0x06
    public byte[] keybStatus;
    public byte[] keybSwVer;
    public byte[] keybHwVer;
    // mode 0x07
    public byte[] dlqioSwVer;
    public byte dlqioHwVer;
    public byte dlqioNoOfInputs;
    public byte dlqioNoOfOutputs;
    public byte dlqioNoOfRelays;
    public byte dlqioNoOfSignalers;
    // mode 0x08
    public byte[] rfcSupportedTagDriver;
    // mode 0x10
    public byte[] rfcHwInfo;
    public byte[] rfcDHw;
    public byte[] rfcAHw;
    public byte rfcFrequency;
    public byte rfcPortTypes;
    public byte rfcInfo;
    // mode 0x11
    public byte noOfSlots;
    public byte[] slotInfo;
    // mode 0x12
    public byte rfcCpuManufacturer;
    public byte[] rfcCpuType;
    public byte rfcCpuRevision;
    public byte[] rfcCpuFlashSize;
    // modes 0x40 and 0x41
    public byte[] noOfCfgPages;
    public byte[] cfgReadPermissions;
    public byte[] cfgWritePermissions;
    // network
    public byte[] lanMac;
    public byte[] lanIpV4;
    public byte[] lanIpV6;
    public byte[] lanNetmaskV4;
    public byte[] lanNetmaskV6;
    public byte[] lanGatewayV4;
    public byte[] lanGatewayV6;
    public byte[] wlanMac;
    public byte[] wlanIpV4;
    public byte[] wlanIpV6;
    public byte[] wlanNetmaskV4;
    public byte[] wlanNetmaskV6;
    public byte[] wlanGatewayV4;
    public byte[] wlanGatewayV6;
    // mode 0x60
    public byte noOfInputs;
    public byte noOfOutputs;
    public byte noOfRelays;
    // mode 0x61
    public byte noOfPeopleCounter;
    // mode 0x80
    public byte[] rfcDevID;
    public byte[] rfcLicenseCustom;
    public byte[] rfcLicenseFw;
    public byte[] rfcLicenseTrType;
    public byte[] rfcLicenseFct;
    public byte[] rfcLicenseUhfTrType;
    public byte[] rfcLicenseUhfFct;

    /** The core's printable report of the information. */
    public String report;

    public VkdmKrnReaderInfo() {}
}
