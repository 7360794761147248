{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "text": "buffer~ quiet 1000 1",
                     "patching_rect": [10.0, 10.0, 120.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "spectrogram~", "varname": "sg", "buffer_name": "quiet",
                     "mag_scale": 0, "win_size": 128, "win_zero_pad": 1,
                     "patching_rect": [10.0, 50.0, 200.0, 101.0]}}
        ],
        "lines": []
    }
}
