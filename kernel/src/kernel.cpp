// Kernel sources live beside this file.
