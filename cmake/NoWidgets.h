// Forced into every core translation unit. Claiming the include guard of the
// widgets' global header makes any Qt Widgets header fail to compile, so the
// core library cannot grow a dependency on widgets by accident.
#define QTWIDGETSGLOBAL_H
