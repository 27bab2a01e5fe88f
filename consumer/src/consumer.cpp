// Consumer sources live beside this file.
