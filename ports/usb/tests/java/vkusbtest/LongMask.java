package vkusbtest;

/** A search object whose "mask" has the wrong type. */
public class LongMask {
    public long mask = 1;
    public String familyName = "KRN-SIM";
}
