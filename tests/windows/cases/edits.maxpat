{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "varname": "buf", "text": "buffer~ snd",
                     "patching_rect": [10.0, 10.0, 120.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "spectrogram~", "varname": "sg", "buffer_name": "snd",
                     "mag_scale": 0, "edit_win_size": 512, "win_size": 512,
                     "patching_rect": [10.0, 50.0, 200.0, 101.0]}}
        ],
        "lines": []
    }
}
