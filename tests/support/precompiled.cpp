// The translation unit that carries the suites' precompiled <QtTest> (tests/CMakeLists.txt).
