// The error lines (event 101) a reader raises, recorded by a handler of the
// native form; the reader must deliver protocol lines (LOGPROT "1").
#ifndef VKKRN_TESTS_ERROR_LINES_H
#define VKKRN_TESTS_ERROR_LINES_H

#include <vkkrn.h>

#include <vector>

class ErrorLines {
  public:
    ErrorLines() {
        handler_.pAny = this;
        handler_.uiUse = 101;
        handler_.uiFlag = 6;
        handler_.callback.form6 = &record;
    }
    ErrorLines(const ErrorLines&) = delete;
    ErrorLines& operator=(const ErrorLines&) = delete;

    // Registers the handler on `reader` and turns its protocol lines on: 0 or a code.
    int attach(int reader) {
        const int rc = VKKRN_AddEventHandler(reader, &handler_);
        return rc != 0 ? rc : VKKRN_SetReaderPara(reader, "LOGPROT", "1");
    }

    std::vector<int> codes; // the value of each line: its error code

  private:
    static void record(void* any, unsigned char*, int value) {
        static_cast<ErrorLines*>(any)->codes.push_back(value);
    }

    _VKKRN_EVENT_INIT handler_{};
};

#endif
