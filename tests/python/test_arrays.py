"""The filters over numpy arrays and over the DLL's pixel buffer, compared
with the orvessa tool's raw-buffer runs."""

import numpy as np
import pytest
from conftest import photo_like, tool_image, tool_raw

import orvessa

FILTERS = list(orvessa._orvessa.filters)


def window(a):
    return a[3:-4, 2:-5]


def flipped(a):
    return a[::-1]


def flipped_window(a):
    return a[-3:1:-2, 4:-1]


def whole(a):
    return a


@pytest.mark.parametrize("filter_name", FILTERS)
@pytest.mark.parametrize("height, width", [(1, 1), (4, 2), (3, 5), (4, 3), (5, 6), (9, 37), (40, 52)])
@pytest.mark.parametrize("view", [whole, window, flipped, flipped_window])
@pytest.mark.parametrize("threads", [0, 1, 3])
def test_filters_give_the_tools_bytes(filter_name, height, width, view, threads, tmp_path):
    big = photo_like(height * 100 + width, (height + 9, width + 8, 3))
    picture = view(big)
    if picture.size == 0:
        pytest.skip("the view holds no pixels")
    want = tool_image(filter_name, np.ascontiguousarray(picture), tmp_path)
    before = big.copy()

    result = getattr(orvessa, filter_name)(picture, threads=threads)

    assert result is picture
    np.testing.assert_array_equal(picture, want)
    # Nothing outside the view moves.
    mask = np.ones(big.shape, dtype=bool)
    view(mask)[...] = False
    np.testing.assert_array_equal(big[mask], before[mask])


@pytest.mark.parametrize("filter_name", FILTERS)
@pytest.mark.parametrize("make, error", [
    (lambda a: a.tolist(), TypeError),
    (lambda a: a.astype(np.int16), TypeError),
    (lambda a: a.view(np.int8), TypeError),
    (lambda a: np.concatenate([a, a[:, :, :1]], axis=2), ValueError),  # four channels
    (lambda a: a[:, :, 0], ValueError),
    (lambda a: a[None], ValueError),
    (lambda a: np.asfortranarray(a), ValueError),
    (lambda a: a[:, ::2], ValueError),  # pixels apart
    (lambda a: a[:, :, ::-1], ValueError),  # channels reversed
    (lambda a: np.lib.stride_tricks.as_strided(a, a.shape, (3 * a.shape[1] - 3, 3, 1)), ValueError),
    (lambda a: (a.setflags(write=False), a)[1], ValueError),
])
def test_refusals_leave_the_array_untouched(filter_name, make, error, picture):
    candidate = make(picture)
    before = np.array(candidate, copy=True)
    with pytest.raises(error, match="expected"):
        getattr(orvessa, filter_name)(candidate)
    np.testing.assert_array_equal(np.asarray(candidate), before)
    with pytest.raises(ValueError, match="threads"):
        getattr(orvessa, filter_name)(picture, threads=-1)


@pytest.mark.parametrize("filter_name", FILTERS)
@pytest.mark.parametrize("width, height, lower_bound, extra, kind", [
    (13, 9, 0, 0, bytearray),         # no error
    (13, 9, -7, 7, memoryview),       # any lowest index: position p is element p
    (13, 9, 0, -50, bytearray),       # 9: short; the rows filtered before stay written
    (13, 9, 5, 0, np.array),          # 9: position 0 lies below the lowest index
    (715827882, 5, 0, 0, bytearray),  # 6: the row length overflows
    (-5, 10, 0, 0, memoryview),
])
def test_buffer_contract_as_the_tool(filter_name, width, height, lower_bound, extra, kind, tmp_path):
    count = (((3 * width + 3) & ~3) * height if 0 < width < 1000 else 64) + extra
    original = bytearray(photo_like(count, (1, count // 3 + 1, 3)).tobytes()[:count])
    status, err, want = tool_raw(filter_name, original, width, height, tmp_path, lower_bound)
    storage = bytearray(original)
    buffer = {bytearray: storage, memoryview: memoryview(storage),
              np.array: np.frombuffer(storage, dtype=np.uint8)}[kind]

    if status == 0:
        getattr(orvessa, f"{filter_name}_buffer")(buffer, width, height, lower_bound=lower_bound)
    else:
        with pytest.raises(orvessa.Error) as raised:
            getattr(orvessa, f"{filter_name}_buffer")(buffer, width, height, lower_bound=lower_bound)
        assert f"(error {raised.value.number})" in err
        builtin = {6: OverflowError, 7: MemoryError, 9: IndexError}[raised.value.number]
        assert isinstance(raised.value, builtin)
    assert storage == want


@pytest.mark.parametrize("filter_name", FILTERS)
def test_buffer_refusals(filter_name):
    call = getattr(orvessa, f"{filter_name}_buffer")
    for candidate in (bytes(64), memoryview(bytes(64)), [0] * 64, np.zeros(16, np.int32)):
        with pytest.raises(TypeError, match="expected"):
            call(candidate, 4, 4)
    # More than one dimension is refused by every access, as in the DLL.
    with pytest.raises(orvessa.SubscriptOutOfRange):
        call(np.zeros((4, 16), np.uint8), 4, 4)
