"""Quick start: what the module offers so far."""

import quorlen

print("quorlen", quorlen.core_version())
print("names:", ", ".join(quorlen.__all__))
