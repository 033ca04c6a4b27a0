// libvkcom.so: the core (whole) behind the exported names of vkcom/vizer.h.
