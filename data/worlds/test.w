editor_undo_pesel 0 0 40
world_general_properties
	fog 3158064 6000 1500 1
	fog1 4219040 600 200
	fog3 3158064 6000 1500
	fog_in_game 1
	global_ambient_light 4210752
	global_ambient_light1 2105376
	background_color 3158064
	farz 12000
	sky_light_use 1
	sky_light_direction 45 135
	sky_light_color 16774880
	sky_light_power 1.2
	sky_mesh models\sky.x
	lens_flare_direction 30 90
	vertex_ambient_brightness 1.1
	vertex_ambient_contrast 0.9
	vertex_ambient_color 1 0.95 0.9
	vertex_ambient_inside_brightness 2.4
	vertex_ambient_inside_contrast 2
	vertex_ambient_inside_color 1 0.97 0.92
	bloom_params 0.6 1.4
	ambient_occlusion_depth 48
	ambient_occlusion_intensity 0.5
	sky_light_projector 1024 2048 4096 0.76
	skinmesh_skylight_coef 0.8
	sounds_world_bank none

mesh models\plane.x
	pesel 1001 1 1
	name floor
	xpos 0
	ypos 0
	zpos 0
	flags 13
	flag2 0
	sector_idx 1

mesh models\box.x
	pesel 1002 2 2
	name wall_north
	xpos 0
	ypos 0
	zpos 512
	scaling_axis 16 4 0.25
	flags 13
	ambient_light_idx 1

mesh models\box.x
	pesel 1003 3 3
	name wall_south
	xpos 0
	ypos 0
	zpos -512
	scaling_axis 16 4 0.25
	flags 13
	ambient_light_idx 1

mesh models\box.x
	pesel 1004 4 4
	name wall_east
	xpos 512
	ypos 0
	zpos 0
	scaling_axis 0.25 4 16
	flags 13
	fog_idx 9

mesh models\box.x
	pesel 1005 5 5
	name wall_west
	xpos -512
	ypos 0
	zpos 0
	scaling_axis 0.25 4 16
	flags 13
	mesh_light_control_params 1 0
	mesh_light_control_light0 lamp_hall

mesh models\box.x
	pesel 1006 6 6
	name crate_explosive
	xpos 200
	ypos 0
	zpos 150
	rotation_angles 0 30 0
	flags 13
	death_params_1 1 0 0 0 0 1 1 1 1 0 20
	death_params_SetWhenDead crate_destroyed
	death_params_CreateMeshOnDeath models\box_broken.x
	death_params_created_mesh_name crate_wreck
	death_params_FX_On_Death explosion_small
	death_params_ExplosionPowerCoef 1.5
	death_params_2 0 1 0 0 0
	death_params_AddSpeed 0 96 0
	death_params_shake_screen 1
	set_fx smoke_column

mesh models\box.x
	pesel 1007 7 7
	name crate_physics
	xpos -200
	ypos 0
	zpos -100
	scaling_axis 0.5 0.5 0.5
	flags 13
	rigid_body_physics_general 1 12 1
	rigid_body_physics_friction_coef 0.8
	rigid_body_physics_sound_filename sounds\crate_hit.wav
	rigid_body_physics_sound_params 1 900
	rigid_body_physics_silence_between_sounds 0.4
	rigid_body_physics_disable_collision_with_1 floor
	rigid_body_physics_disable_collision_with_list 1 wall_north

mesh models\box.x
	pesel 1008 8 8
	name lift
	xpos 0
	ypos 0
	zpos 300
	scaling_axis 2 0.25 2
	flags 13
	action_general_opt 1 0
	action_ifset lift_called
	action_moving 0 1 0 64 192
	action_sounds_activate sounds\lift_start.wav
	action_sounds_range 1200
	action_dest_set lift_up
	action_default_unset lift_up
	bezier_moving_____start_node_name lift_bottom
	bezier_moving_____params0 0 1 1.5 3 0 0 1
	bezier_moving_____params1 0 1

light
	pesel 1009 9 9
	name lamp_hall
	xpos 0
	ypos 220
	zpos 0
	flags 17
	range 600
	power 2.5
	diffuse 1 0.9 0.7
	blinking1 1 0.2 0.8 2 0.1 1 0
	light_linear_scatter 1

light
	pesel 1010 10 10
	name trigger_lift
	xpos 0
	ypos 32
	zpos 200
	range 96
	flags 0
	action_general_opt 1 1
	action_default_set lift_called
	action_give_action_to___mesh lift
	action_give_action_to___delay 0.5
	action_console_print Lift called
	action_loop_music 0

mesh models\blockers\visibility_blocker.x
	pesel 1011 11 11
	name blocker_hall
	xpos 0
	ypos 0
	zpos 100
	flags 0

mesh models\box.x
	pesel 1012 12 12
	name shuttle
	xpos -300
	ypos 32
	zpos -300
	scaling_axis 0.5 0.5 0.5
	flags 13
	bezier_moving_____start_node_name patrol_0
	bezier_moving_____params0 0 1 0 0 1 0 1

mesh models\box.x
	pesel 1013 13 13
	name door_hall
	xpos 0
	ypos 0
	zpos -150
	scaling_axis 1 2 0.125
	flags 13
	action_general_opt 1 0
	action_door 1 1 90 45 0
	action_console_print Door swings

light
	pesel 1014 14 14
	name trigger_door
	xpos 0
	ypos 32
	zpos 0
	range 96
	flags 0
	action_general_opt 1 1
	action_general_2 1 1
	action_console_print Door trigger entered
	action_give_action_to___mesh door_hall
	action_give_action_to___delay 0

mesh models\box.x
	pesel 1015 15 15
	name lamp_shade
	xpos 0
	ypos 64
	zpos -150
	scaling_axis 0.25 0.25 0.25
	flags 13
	mesh_link_by_socket 1 door_hall top

light
	pesel 1016 16 16
	name demostart
	xpos 0
	ypos 32
	zpos -400
	range 32
	flags 0
	action_general_opt 1 0
	action_console_print Demo chain started
	action_teleport_object_here crate_physics
	action_kill_object barrel
	action_kill_delay 5
	action_give_action_to___mesh cage
	action_give_action_to___delay 1

mesh models\box.x
	pesel 1017 17 17
	name barrel
	xpos -150
	ypos 0
	zpos 150
	scaling_axis 0.5 0.5 0.5
	flags 13
	death_params_1 1 1 0 0 0 1 1 1 1 0 10
	death_params_console_print Barrel destroyed
	death_params_ActivateObjectName cage_return
	death_params_CreateMeshOnDeath models\box_broken.x
	death_params_created_mesh_name barrel_wreck

light
	pesel 1018 18 18
	name cage_return
	xpos 0
	ypos 32
	zpos 450
	range 32
	flags 0
	action_general_opt 1 0
	action_general_2 0 1
	action_console_print Cage returns
	action_respawn_character_name grunt
	action_respawn_params 4 2
	action_give_action_to___mesh cage
	action_give_action_to___delay 0

mesh models\box.x
	pesel 1019 19 19
	name cage
	xpos 300
	ypos 0
	zpos 300
	scaling_axis 1.5 0.25 1.5
	flags 13
	action_general_opt 1 0
	action_moving 0 1 0 64 192
	action_console_print Cage moves
	action_dest_set cage_up
	action_default_unset cage_up

mesh models\pillar.x
	pesel 1020 20 20
	name pillar
	xpos -350
	ypos 0
	zpos 250
	flags 13

mesh models\lamp_base.x
	pesel 1021 21 21
	name lamp_base
	xpos 150
	ypos 0
	zpos -300
	flags 5

mesh models\plane.x
	pesel 1040 40 40
	name course_floor
	xpos 1100
	ypos 0
	zpos 0
	flags 13

mesh models\course_stairs16.x
	pesel 1041 41 41
	name course_stairs16
	xpos 700
	ypos 0
	zpos -200
	flags 13

mesh models\course_stairs20.x
	pesel 1042 42 42
	name course_stairs20
	xpos 830
	ypos 0
	zpos -200
	flags 13

mesh models\course_ramp40.x
	pesel 1043 43 43
	name course_ramp40
	xpos 960
	ypos 0
	zpos -200
	flags 13

mesh models\course_ramp50.x
	pesel 1044 44 44
	name course_ramp50
	xpos 1090
	ypos 0
	zpos -200
	flags 13

mesh models\course_corner.x
	pesel 1045 45 45
	name course_corner
	xpos 1250
	ypos 0
	zpos 100
	flags 13

mesh models\course_ledge.x
	pesel 1046 46 46
	name course_ledge
	xpos 1420
	ypos 0
	zpos -200
	flags 13

mesh models\course_slab.x
	pesel 1047 47 47
	name course_hurt
	xpos 1420
	ypos 0
	zpos 50
	flags 13
	flag2 67108864

mesh models\course_slab.x
	pesel 1048 48 48
	name course_kill
	xpos 1420
	ypos 0
	zpos 200
	flags 13
	flag2 4194304

mesh models\box.x
	pesel 1049 49 49
	name course_crate
	xpos 1540
	ypos 0
	zpos 0
	scaling_axis 0.5 0.5 0.5
	flags 13
	rigid_body_physics_general 1 12 1

mesh models\crate.x
	pesel 1022 22 22
	name grate_crate
	xpos -200
	ypos 0
	zpos -150
	flags 13

mesh prefabs\props\crate_offset.x
	pesel 1023 23 23
	name prefab_crate
	xpos 300
	ypos 16
	zpos 300
	flags 13

mesh prefabs\props\marker_nocenter.x
	pesel 1024 24 24
	name marker_post
	xpos -300
	ypos 0
	zpos -350
	flags 13

mesh prefabs\special\hero_stick.x
	pesel 1050 50 50
	name stick_marker_1
	xpos -420
	ypos 32
	zpos -420
	flags 13

mesh prefabs\special\hero_stick.x
	pesel 1051 51 51
	name stick_marker_2
	xpos 420
	ypos 32
	zpos -420
	flags 13

mesh models\curtain.x
	pesel 1052 52 52
	name curtain
	xpos -420
	ypos 0
	zpos 0
	flags 141

mesh models\glass_pane.x
	pesel 1053 53 53
	name glass_pane
	xpos 420
	ypos 0
	zpos -150
	flags 13
	flag2 4096

mesh models\cloth.x
	pesel 1054 54 54
	name cloth
	xpos -200
	ypos 0
	zpos 420
	flags 13
	flag2 65536

mesh models\box.x
	pesel 1055 55 55
	name wall_hall
	xpos 330
	ypos 0
	zpos 150
	scaling_axis 0.25 2 2
	flags 13

mesh models\box.x
	pesel 1056 56 56
	name crate_behind_wall
	xpos 440
	ypos 0
	zpos 150
	scaling_axis 0.5 0.5 0.5
	flags 13
	death_params_1 1 0 0 0 0 1 1 1 1 0 20
	death_params_console_print Crate behind the wall destroyed

mesh prefabs\special\rigidbody_cylinder.x
	pesel 1060 60 60
	name oil_drum
	xpos -260
	ypos 20
	zpos -180
	scaling_axis 24 40 24
	flags 13
	rigid_body_physics_general 2 20 1

mesh prefabs\special\rigidbody_sphere.x
	pesel 1061 61 61
	name ball
	xpos -200
	ypos 12
	zpos -220
	scaling_axis 24 24 24
	flags 13
	rigid_body_physics_general 3 4 1
	rigid_body_physics_friction_coef 0.6

mesh models\l_prop.x
	pesel 1062 62 62
	name l_prop
	xpos -140
	ypos 0
	zpos -200
	flags 13
	rigid_body_physics_general 4 10 1
	rigid_body_physics_construction_prefab_filename models\l_prop.x

mesh prefabs\special\rigidbody_cylinder.x
	pesel 1063 63 63
	name can
	xpos -120
	ypos 7
	zpos -140
	scaling_axis 8 14 8
	flags 13
	rigid_body_physics_general 2 1 1
	rigid_body_physics_not_important 1

mesh prefabs\special\hurt.x
	pesel 1064 64 64
	name no_collision_pit
	xpos -100
	ypos 32
	zpos -250
	scaling_axis 64 64 64
	flags 13

mesh models\ceiling_beam.x
	pesel 1080 80 80
	name ceiling_beam
	xpos -300
	ypos 232
	zpos 100
	flags 13

mesh models\hanging_lamp.x
	pesel 1081 81 81
	name hanging_lamp
	xpos -364
	ypos 212
	zpos 100
	flags 13
	rigid_body_physics_general 2 4 1
	rigid_body_physics_joint_general 1 1
	rigid_body_physics_joint_my_socket hook
	rigid_body_physics_joint_to_object ceiling_beam
	rigid_body_physics_joint_object_socket lamp_hook

mesh prefabs\special\rigidbody_box.x
	pesel 1082 82 82
	name chain_top
	xpos -236
	ypos 216
	zpos 100
	scaling_axis 16 16 16
	flags 13
	rigid_body_physics_general 1 6 1
	rigid_body_physics_joint_general 1 1
	rigid_body_physics_joint_my_socket top
	rigid_body_physics_joint_to_object ceiling_beam
	rigid_body_physics_joint_object_socket chain_hook

mesh prefabs\special\rigidbody_box.x
	pesel 1083 83 83
	name chain_bottom
	xpos -236
	ypos 200
	zpos 100
	scaling_axis 16 16 16
	flags 13
	rigid_body_physics_general 1 6 1
	rigid_body_physics_joint_general 1 1
	rigid_body_physics_joint_my_socket top
	rigid_body_physics_joint_to_object chain_top
	rigid_body_physics_joint_object_socket bottom

mesh prefabs\special\rigidbody_box.x
	pesel 1084 84 84
	name shuttle_sign
	xpos -283
	ypos 38
	zpos -300
	scaling_axis 2 20 24
	flags 13
	rigid_body_physics_general 1 3 1
	rigid_body_physics_joint_general 1 1
	rigid_body_physics_joint_my_socket top
	rigid_body_physics_joint_to_object shuttle
	rigid_body_physics_joint_object_socket hinge

mesh models\box.x
	pesel 1100 100 100
	name machine
	xpos -200
	ypos 340
	zpos 0
	scaling_axis 0.5 0.5 0.5
	flags 13
	sound_for_mesh 600 sounds\machine_hum.wav

mesh models\box.x
	pesel 1101 101 101
	name camera_rider
	xpos 0
	ypos 400
	zpos -450
	scaling_axis 0.25 0.25 0.25
	flags 0
	action_general_opt 1 0
	action_start_moving_on_different_bezier camera_0
	action_give_action_to___mesh radio_box
	action_give_action_to___delay 3

light
	pesel 1102 102 102
	name ride_start
	xpos 0
	ypos 32
	zpos -48
	range 96
	flags 0
	action_general_opt 1 1
	action_general_2 1 1
	action_console_print Camera ride starts
	action_sounds_activate sounds\zone_chime.wav
	action_sounds_range 2000
	action_camera_look_from_object camera_rider
	action_camera_look_from_socket top
	action_camera_look_from_time 600
	action_respawn_character_name guard
	action_respawn_params 0 0
	action_give_action_to___mesh camera_rider
	action_give_action_to___delay 0

mesh models\box.x
	pesel 1103 103 103
	name radio_box
	xpos 100
	ypos 0
	zpos -100
	scaling_axis 0.25 0.25 0.25
	flags 13
	action_general_opt 1 0
	action_radio_radio radio_demo
	action_give_action_to___mesh radio_switch
	action_give_action_to___delay 3

light
	pesel 1104 104 104
	name radio_switch
	xpos 100
	ypos 32
	zpos -100
	range 0
	flags 0
	action_general_opt 1 0
	action_general_2 0 1
	action_give_action_to___mesh radio_box
	action_give_action_to___delay 0

mesh prefabs\special\rigidbody_box.x
	pesel 1090 90 90
	name stack_crate_1
	xpos -280
	ypos 12
	zpos 30
	scaling_axis 24 24 24
	flags 13
	rigid_body_physics_general 1 10 1

mesh prefabs\special\rigidbody_box.x
	pesel 1091 91 91
	name stack_crate_2
	xpos -280
	ypos 36.5
	zpos 30
	scaling_axis 24 24 24
	flags 13
	rigid_body_physics_general 1 10 1

mesh prefabs\special\rigidbody_box.x
	pesel 1092 92 92
	name stack_crate_3
	xpos -280
	ypos 61
	zpos 30
	scaling_axis 24 24 24
	flags 13
	rigid_body_physics_general 1 10 1

mesh prefabs\special\rigidbody_box.x
	pesel 1093 93 93
	name stack_crate_4
	xpos -280
	ypos 85.5
	zpos 30
	scaling_axis 24 24 24
	flags 13
	rigid_body_physics_general 1 10 1

mesh prefabs\special\rigidbody_box.x
	pesel 1094 94 94
	name stack_crate_5
	xpos -280
	ypos 110
	zpos 30
	scaling_axis 24 24 24
	flags 13
	rigid_body_physics_general 1 10 1

light
	pesel 1095 95 95
	name knock
	xpos -280
	ypos 32
	zpos -30
	range 32
	flags 0
	action_general_opt 1 0
	action_console_print Stack knocked
	action_push_object stack_crate_4
	action_push_obj_force 3000

mesh prefabs\special\rigidbody_box.x
	pesel 1096 96 96
	name ramp_crate
	xpos 996
	ypos 48
	zpos -160
	scaling_axis 16 16 16
	flags 13
	rigid_body_physics_general 1 6 1

mesh prefabs\special\rigidbody_cylinder.x
	pesel 1097 97 97
	name ramp_drum
	xpos 926
	ypos 66
	zpos -140
	scaling_axis 16 20 16
	flags 13
	rigid_body_physics_general 2 8 1

mesh prefabs\special\hurt.x
	pesel 1098 98 98
	name no_collision_niche
	xpos -512
	ypos 170
	zpos -60
	scaling_axis 16 280 16
	flags 13

mesh prefabs\special\rigidbody_box.x
	pesel 1099 99 99
	name niche_crate
	xpos -512
	ypos 290
	zpos -60
	scaling_axis 12 12 12
	flags 13
	rigid_body_physics_general 1 4 1

mesh models\box.x
	pesel 1070 70 70
	name crate_fog_near
	xpos 680
	ypos 0
	zpos 340
	flags 13
	fog_idx 1

mesh models\box.x
	pesel 1071 71 71
	name crate_fog_mid
	xpos 960
	ypos 0
	zpos 460
	flags 13
	fog_idx 1

mesh models\box.x
	pesel 1072 72 72
	name crate_fog_far
	xpos 1300
	ypos 0
	zpos 380
	flags 13
	fog_idx 1

mesh models\box.x
	pesel 1073 73 73
	name crate_fog_off
	xpos 1450
	ypos 0
	zpos 300
	flags 13
	flag2 262144
	fog_idx 1

mesh models\box.x
	pesel 1074 74 74
	name crate_hidden
	xpos 150
	ypos 0
	zpos 620
	flags 13

mesh models\box.x
	pesel 1075 75 75
	name crate_grated
	xpos -470
	ypos 0
	zpos 0
	flags 13

mesh models\sign_glow.x
	pesel 1105 105 105
	name glow_sign
	xpos 100
	ypos 160
	zpos 503
	flags 13

mesh models\oil_stain.x
	pesel 1106 106 106
	name oil_stain
	xpos 250
	ypos 0.5
	zpos -50
	flags 13

mesh models\light_shaft.x
	pesel 1107 107 107
	name light_shaft
	xpos -100
	ypos 20
	zpos 350
	flags 13

mesh models\alcove_floor.x
	pesel 1110 110 110
	name alcove_floor
	xpos 0
	ypos 1
	zpos 0
	flags 13
	flag2 8
	vertex_color 1

mesh models\tree.x
	pesel 1108 108 108
	name tree
	xpos 850
	ypos 0
	zpos 250
	flags 13
	is_it_tree 1

mesh models\box.x
	pesel 1109 109 109
	name dropped_item
	xpos -60
	ypos 0
	zpos -320
	scaling_axis 0.3 0.3 0.3
	flags 13
	item_dropped 1

mesh models\bright_panel.x
	pesel 1111 111 111
	name bright_panel
	xpos -160
	ypos 96
	zpos 503
	flags 13

mesh models\dark_plane.x
	pesel 1121 121 121
	name dark_plane
	xpos 320
	ypos 1
	zpos -310
	flags 13
	flag2 8
	ambient_light_idx 1

mesh models\box.x
	pesel 1122 122 122
	name probe_box_lit
	xpos 180
	ypos 0
	zpos -420
	scaling_axis 0.5 0.5 0.5
	flags 13
	flag2 536870912
	action_general_opt 1 0

mesh models\box.x
	pesel 1123 123 123
	name probe_box_dark
	xpos 320
	ypos 1
	zpos -310
	scaling_axis 0.5 0.5 0.5
	flags 13
	flag2 536870912
	action_general_opt 1 0
mesh models\water.x
	pesel 1131 131 131
	name water
	xpos 780
	ypos 2
	zpos -384
	flags 13

mesh models\box.x
	pesel 1132 132 132
	name pool_crate
	xpos 870
	ypos 0
	zpos -300
	flags 13

mesh models\lava.x
	pesel 1133 133 133
	name lava_pool
	xpos 1460
	ypos 1
	zpos -384
	flags 13
