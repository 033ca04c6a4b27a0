// Marks the running thread as calling the application on behalf of a reader
// (its event handlers, a listener's callback): commands to that reader from
// there are refused with -4032 (VKKRNReader::RefuseReentry).
#ifndef VKKRN_DISPATCH_MARK_H
#define VKKRN_DISPATCH_MARK_H

class VKKRNReader;

namespace vkkrn {

class DispatchMark {
  public:
    explicit DispatchMark(const VKKRNReader* reader);
    ~DispatchMark();
    DispatchMark(const DispatchMark&) = delete;
    DispatchMark& operator=(const DispatchMark&) = delete;
};

} // namespace vkkrn

#endif
