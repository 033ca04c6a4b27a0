package vkusbtest;

/** A search object without "mask". */
public class NoMask {
    public String familyName = "KRN-SIM";
}
