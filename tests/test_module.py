import quorlen
import pytest


def test_core_version():
    assert quorlen.core_version() == "0.5.0"
    with pytest.raises(TypeError):
        quorlen.core_version(1)


def test_all_starts_with_core_version():
    assert quorlen.__all__[0] == "core_version"
