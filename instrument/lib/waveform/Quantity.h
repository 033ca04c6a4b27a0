// A value together with the id of its unit, for passing times and durations.
#ifndef ZRB_WAVEFORM_QUANTITY_H
#define ZRB_WAVEFORM_QUANTITY_H

struct Quantity {
    double value = 0.0;
    int unit = 0;
};

#endif
