package de.varek;

/** Time and date of a BRM table record. */
public class VkKrnReaderTime {
    public int hour;
    public int minute;
    public int mSecond;
    public int year;
    public int month;
    public int day;
    public int timezone;

    public VkKrnReaderTime() {}
}
