// Engine sources live beside this file.
