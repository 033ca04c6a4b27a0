package de.varek;

/**
 * A reader's diagnostic, as {@code VkdmKrnReader.ReadReaderDiagnostic} builds it.
 * A field of a mode that was not read keeps its value from the constructor.
 */
public class VkdmKrnReaderDiagnostic {
    public boolean isMode0x01Read;
    public boolean isMode0x03Read;
    public boolean isMode0x04Read;
    public boolean isMode0x05Read;
    public boolean isMode0x20Read;
    public boolean isMode0x21Read;

    // mode 0x01
    public byte flagsA;
    public byte flagsB;
    // mode 0x03
    public byte muxStatusCh1;
    public byte muxStatusCh2;
    public byte muxStatusCh3;
    public byte muxStatusCh4;
    public byte muxStatusCh5;
    public byte muxStatusCh6;
    public byte muxStatusCh7;
    public byte muxStatusCh8;
    // mode 0x04
    public byte intErrorA;
    public byte intErrorB;
    // mode 0x05
    public byte muxStatus_Out1;
    public byte muxPhaseError_LT50R_Out1;
    public byte muxPhaseError_GT50R_Out1;
    public byte muxStatus_Out2;
    public byte muxPhaseError_LT50R_Out2;
    public byte muxPhaseError_GT50R_Out2;
    public byte muxStatus_Out3;
    public byte muxPhaseError_LT50R_Out3;
    public byte muxPhaseError_GT50R_Out3;
    public byte muxStatus_Out4;
    public byte muxPhaseError_LT50R_Out4;
    public byte muxPhaseError_GT50R_Out4;
    // mode 0x20
    public String firmwareStatus;
    // mode 0x21
    public byte configParaChangeStatus;

    /** The core's printable report of the diagnostic. */
    public String report;

    public VkdmKrnReaderDiagnostic() {}
}
